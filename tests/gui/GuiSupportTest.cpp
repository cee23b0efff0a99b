#include "gui/GuiSupport.h"

#include "support/QtHelpers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>

#include <stdexcept>

using namespace glowkite;
using namespace glowkite::test;

TEST(Guarded, AnEscapingExceptionIsShownAndTheProgramGoesOn)
{
    QWidget window;
    auto seen = CloseNextMessageBox();
    bool after = false;
    Guarded(&window, [] { throw std::runtime_error("Cannot open /tmp/x/glowkite_120305.glow"); });
    after = true;
    EXPECT_TRUE(after);
    ASSERT_TRUE(seen->shown);
    EXPECT_EQ(seen->text, "Cannot open /tmp/x/glowkite_120305.glow");
    EXPECT_EQ(seen->title, QCoreApplication::applicationName());
    EXPECT_EQ(seen->icon, QMessageBox::Critical);
}

TEST(Guarded, NoBoxWithoutAnError)
{
    QWidget window;
    int runs = 0;
    Guarded(&window, [&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(UiFont, EightPointSansByDefault)
{
    const QFont f = UiFont();
    EXPECT_EQ(f.pointSize(), 8);
    EXPECT_FALSE(f.bold());
    const QFont heading = UiFont(10, true);
    EXPECT_EQ(heading.pointSize(), 10);
    EXPECT_TRUE(heading.bold());
}

TEST(NoticeBox, DoesNotWaitAndKeepsOneBoxWhoseTextALaterMessageReplaces)
{
    QWidget parent;
    TNoticeBox notice(&parent, TNoticeBox::Warning);
    notice.Show(QStringLiteral("Protokoll glowkite erkannt"));
    // Show returned without anyone pressing OK: the caller goes on.
    EXPECT_TRUE(notice.IsVisible());
    notice.Show(QStringLiteral("Protokoll glowkite + erkannt "));
    EXPECT_EQ(notice.Count(), 2);
    EXPECT_EQ(notice.Text(), QStringLiteral("Protokoll glowkite + erkannt "));
    const auto boxes = parent.findChildren<QMessageBox *>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->windowTitle(), QStringLiteral("Warnung"));
    EXPECT_FALSE(boxes[0]->isModal());

    // Closed by the user, the next message opens a new box.
    boxes[0]->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(notice.IsVisible());
    notice.Show(QStringLiteral("again"));
    EXPECT_TRUE(notice.IsVisible());
    EXPECT_EQ(parent.findChildren<QMessageBox *>().size(), 1);
}
