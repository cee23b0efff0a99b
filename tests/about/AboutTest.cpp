#include "about/About.h"

#include "about/fileUtil.h"
#include "support/QtHelpers.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class TAboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = ProgramInfo; }
    void TearDown() override { ProgramInfo = saved_; }

private:
    TLblData saved_;
};

TEST_F(TAboutBoxTest, DesignTextsUntilShown)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "Glowkite  Info");
    EXPECT_EQ(box.size(), QSize(298, 210));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_EQ(box.ProductName->text(), "Glowkite");
    EXPECT_TRUE(box.ProductName->font().bold());
    EXPECT_EQ(box.ProductName->font().pixelSize(), 16);
    EXPECT_EQ(box.Version->font().pixelSize(), 15);
    EXPECT_EQ(box.Version->text(), "Version: 1.1");
    EXPECT_EQ(box.VersionDate->text(), "Date");
    EXPECT_EQ(box.Panel1->geometry(), QRect(8, 8, 281, 161));
    EXPECT_EQ(box.OKButton->text(), "OK");
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.OKButton->geometry(), QRect(118, 178, 65, 26));
}

TEST_F(TAboutBoxTest, ShowsVersionAndBuildDateAtEveryShowing)
{
    ProgramInfo.FileVersion = "1.0.2.4";
    ProgramInfo.BuildDate = "05.03.2012";
    TAboutBox box;
    box.show();
    EXPECT_EQ(box.Version->text(), "Version : 1.0.2.4");
    EXPECT_EQ(box.VersionDate->text(), "05.03.2012");
    box.hide();

    ProgramInfo.FileVersion.clear();
    ProgramInfo.BuildDate = "01.01.1970";
    box.show();
    EXPECT_EQ(box.Version->text(), "Version : ") << "an empty version shows nothing after the colon";
    EXPECT_EQ(box.VersionDate->text(), "01.01.1970");
}

TEST_F(TAboutBoxTest, CentredOnTheScreenAndClosedWithOk)
{
    QWidget main;
    main.setGeometry(0, 0, 200, 100);
    TAboutBox box(&main);
    bool seenCentred = false;
    OnNextModal([&](QWidget *w) {
        const QPoint screenCentre = w->screen()->availableGeometry().center();
        // The frame is centred: under a window manager it includes the title bar.
        seenCentred = (w->frameGeometry().center() - screenCentre).manhattanLength() <= 2;
        QTest::mouseClick(static_cast<TAboutBox *>(w)->OKButton, Qt::LeftButton);
    });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_TRUE(seenCentred);
}

TEST_F(TAboutBoxTest, TheBoxShowsTheProgramsOwnVersionAndDate)
{
    // On Windows read from the test program's own version resource and PE
    // header; elsewhere (an ELF file) the version and date built in are used.
    InitProgramInfo(QCoreApplication::applicationFilePath().toStdString());
    EXPECT_EQ(ProgramInfo.FileVersion, "1.0.2.4");
    TAboutBox box;
    box.show();
    EXPECT_EQ(box.Version->text(), "Version : 1.0.2.4");
    const QString date = box.VersionDate->text();
    ASSERT_EQ(date.size(), 10) << date.toStdString();
    EXPECT_TRUE(QDate::fromString(date, QStringLiteral("dd.MM.yyyy")).isValid()) << date.toStdString();
}

} // namespace
