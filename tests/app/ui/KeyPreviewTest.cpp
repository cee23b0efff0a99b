#include "app/ui/KeyPreview.h"

#include "support/QtHelpers.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QVBoxLayout>

#include <memory>
#include <vector>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class KeyPreviewTest : public ::testing::Test {
protected:
    KeyPreviewTest()
    {
        auto *inner = new QWidget(&window);
        auto *layout = new QVBoxLayout(inner);
        edit = new QLineEdit(inner);
        layout->addWidget(edit);
        preview = new TKeyPreview(&window, [this](int key) { keys.push_back(key); });
        window.show();
        ProcessEvents();
    }

    QWidget window;
    QLineEdit *edit;
    TKeyPreview *preview;
    std::vector<int> keys;
};

TEST_F(KeyPreviewTest, TheWindowSeesTheKeyAndTheControlStillGetsIt)
{
    QTest::keyClick(edit, Qt::Key_A);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_A}));
    EXPECT_EQ(edit->text(), "a");
}

TEST_F(KeyPreviewTest, AKeyTheControlLeavesUnusedIsSeenOnceOnItsWayToTheWindow)
{
    // The line edit ignores F3; it travels on to the inner widget and the window.
    QTest::keyClick(edit, Qt::Key_F3);
    QTest::keyClick(edit, Qt::Key_F3);
    QTest::keyClick(&window, Qt::Key_F4);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_F3, Qt::Key_F3, Qt::Key_F4}));
}

TEST_F(KeyPreviewTest, ModifiersAreNotPassedOnAndAHeldKeyRepeats)
{
    QTest::keyClick(edit, Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_F3, Qt::ControlModifier);
    // Auto-repeat sends presses without releases in between.
    QTest::keyPress(edit, Qt::Key_F2);
    QTest::keyPress(edit, Qt::Key_F2);
    QTest::keyRelease(edit, Qt::Key_F2);
    // The modifier keys are key presses of their own.
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Shift, Qt::Key_F3, Qt::Key_Control, Qt::Key_F3, Qt::Key_F2, Qt::Key_F2}));
}

TEST_F(KeyPreviewTest, KeysOfOtherWindowsAreNotSeen)
{
    QWidget other;
    QLineEdit otherEdit(&other);
    other.show();
    QTest::keyClick(&otherEdit, Qt::Key_F3);
    EXPECT_TRUE(keys.empty());
    delete preview;
    QTest::keyClick(edit, Qt::Key_F3);
    EXPECT_TRUE(keys.empty()) << "gone with the preview";
}

} // namespace
