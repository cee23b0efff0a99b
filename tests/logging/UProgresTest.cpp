#include "logging/UProgres.h"

#include "support/QtHelpers.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>

using namespace glowkite;
using namespace glowkite::test;

TEST(TForm_pgb, CreatedHiddenWithItsTexts)
{
    TForm_pgb pgb;
    EXPECT_FALSE(pgb.isVisible());
    EXPECT_EQ(pgb.windowTitle(), "Daten einlesen");
    EXPECT_EQ(pgb.size(), QSize(355, 137));
    EXPECT_EQ(pgb.minimumSize(), pgb.maximumSize());
    EXPECT_EQ(pgb.lbl_wait->text(), "Bitte warten");
    EXPECT_EQ(pgb.lbl_wait->font().pointSize(), 10);
    EXPECT_TRUE(pgb.lbl_wait->font().bold());
    EXPECT_EQ(pgb.lbl_wait->pos(), QPoint(120, 16));
    EXPECT_EQ(pgb.lbl_Pgb->text(), "Lesen");
    EXPECT_EQ(pgb.lbl_Pgb->pos(), QPoint(24, 45));
    EXPECT_EQ(pgb.pgb_Read->geometry(), QRect(24, 72, 305, 16));
    EXPECT_EQ(pgb.pgb_Read->minimum(), 0);
}

TEST(TForm_pgb, StaysOnTopWithoutTakingTheFocus)
{
    TForm_pgb pgb;
    EXPECT_TRUE(pgb.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(pgb.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(pgb.isModal());
}

TEST(TForm_pgb, ShowsOverTheCentreOfTheMainWindow)
{
    QMainWindow main;
    main.setGeometry(100, 80, 640, 480);
    main.show();
    TForm_pgb pgb(&main);
    pgb.show();
    ProcessEvents();
    EXPECT_LE((pgb.frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2);
    EXPECT_FALSE(pgb.isModal());
    pgb.hide();
    main.move(300, 200);
    pgb.show();
    ProcessEvents();
    EXPECT_LE((pgb.frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2)
        << "placed again at every showing";
}
