#include "settings/UOption.h"

#include "app/ui/ChartAdapter.h"
#include "app/UGlowKite.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include <filesystem>
#include <memory>

using namespace glowkite;
using namespace glowkite::test;

namespace {

TEST(TFOption, ControlsAsDesigned)
{
    TFOption dlg;
    EXPECT_EQ(dlg.windowTitle(), "Optionen");
    EXPECT_EQ(dlg.size(), QSize(428, 295));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "not resizable";
    ASSERT_EQ(dlg.pgc_Option->count(), 2);
    EXPECT_EQ(dlg.pgc_Option->tabText(0), "Anzeige");
    EXPECT_EQ(dlg.pgc_Option->tabText(1), "Graphen");
    EXPECT_EQ(dlg.pgc_Option->currentIndex(), 0);

    QStringList items;
    for (int i = 0; i < dlg.cbx_Intervall->count(); ++i)
        items << dlg.cbx_Intervall->itemText(i);
    EXPECT_EQ(items, (QStringList{"1", "2", "5", "10", "60"}));
    EXPECT_FALSE(dlg.cbx_Intervall->isEditable());
    EXPECT_EQ(dlg.cbx_Intervall->currentIndex(), 0);
    EXPECT_EQ(dlg.lbl_Intervall->text(), "Anzeigeintervall ");
    EXPECT_EQ(dlg.cb_DataSelection->text(), QStringLiteral("Nur \u00c4nderungen im Diagramm anzeigen"));
    EXPECT_EQ(dlg.cb_Version->text(), "Alte Glowkite Version");
    EXPECT_FALSE(dlg.cb_DataSelection->isChecked());
    EXPECT_FALSE(dlg.cb_Version->isChecked());

    EXPECT_EQ(dlg.cb_AQ->text(), QStringLiteral("Luftqualit\u00e4t"));
    EXPECT_EQ(dlg.cb_Status->text(), "Status");
    for (QCheckBox *always : {dlg.cb_AQ, dlg.cb_Status}) {
        EXPECT_TRUE(always->isChecked());
        EXPECT_FALSE(always->isEnabled());
    }
    EXPECT_EQ(dlg.cb_XPos->text(), "X Position");
    EXPECT_EQ(dlg.cb_YPos->text(), "Y Position");
    EXPECT_EQ(dlg.cb_Gain->text(), "Verschmutzung");
    EXPECT_EQ(dlg.btn_OK->text(), QStringLiteral("\u00dc&bernehmen"));
    EXPECT_TRUE(dlg.btn_OK->isDefault());
    EXPECT_EQ(dlg.btn_Cancel->text(), "&Abbrechen");
    EXPECT_EQ(dlg.btn_OK->geometry(), QRect(240, 248, 75, 25));
    EXPECT_EQ(dlg.btn_Cancel->geometry(), QRect(336, 248, 75, 25));
}

TEST(TFOption, IntervallItemIndexes)
{
    EXPECT_EQ(IntervallIndex(1), 0);
    EXPECT_EQ(IntervallIndex(10), 3);
    EXPECT_EQ(IntervallIndex(60), 4);
    EXPECT_EQ(IntervallIndex(3), -1);
    EXPECT_EQ(IntervallIndex(0), -1);
}

class OptionExecuteTest : public ::testing::Test {
protected:
    OptionExecuteTest()
    {
        window = std::make_unique<TForm_GlowKite>(PathsIn(dir));
        dialog = new TFOption(window.get());
        window->SetDialogs({.FOption = dialog});
        window->show();
    }

    // Opens the dialog through the menu entry; inside it, set does its
    // changes, then OK or Cancel closes it. Returns what the dialog showed.
    struct Shown {
        bool xPos, yPos, gain, dataSelection, version;
        int intervallIndex, page;
    };
    Shown Run(const std::function<void(TFOption &)> &set, bool ok)
    {
        Shown shown{};
        OnNextModal([&](QWidget *w) {
            auto *dlg = qobject_cast<TFOption *>(w);
            ASSERT_NE(dlg, nullptr);
            shown = {dlg->cb_XPos->isChecked(),          dlg->cb_YPos->isChecked(),
                     dlg->cb_Gain->isChecked(),          dlg->cb_DataSelection->isChecked(),
                     dlg->cb_Version->isChecked(),       dlg->cbx_Intervall->currentIndex(),
                     dlg->pgc_Option->currentIndex()};
            set(*dlg);
            QTest::mouseClick(ok ? dlg->btn_OK : dlg->btn_Cancel, Qt::LeftButton);
        });
        window->findChild<QAction *>("act_Option")->trigger();
        return shown;
    }

    static void ChangeEverything(TFOption &d)
    {
        d.cb_XPos->setChecked(true);
        d.cb_YPos->setChecked(true);
        d.cb_Gain->setChecked(true);
        d.cb_DataSelection->setChecked(true);
        d.cb_Version->setChecked(true);
        d.cbx_Intervall->setCurrentIndex(3);
        d.pgc_Option->setCurrentIndex(1);
    }

    QString Protocol() const { return window->findChild<QLabel *>("lbl_protocol")->text(); }

    RuntimeDirOverride runtime;
    TempDir dir;
    std::unique_ptr<TForm_GlowKite> window;
    TFOption *dialog;
};

TEST_F(OptionExecuteTest, OkTakesEveryControlAndShowsItAtOnce)
{
    window->Decoder().AddMeasurement("05.03.2012 14:07:09", 20, 0, 0, 0, 128);
    const int measured = window->Decoder().MeasureCount;
    const Shown shown = Run(ChangeEverything, true);
    EXPECT_FALSE(shown.xPos || shown.yPos || shown.gain || shown.dataSelection || shown.version);
    EXPECT_EQ(shown.intervallIndex, 4) << "60";

    const TMeasurementDecoder &d = window->Decoder();
    EXPECT_FALSE(d.AllData2Chart);
    EXPECT_TRUE(d.GlowkiteVersion);
    EXPECT_TRUE(d.xPosActive);
    EXPECT_TRUE(d.yPosActive);
    EXPECT_TRUE(d.Gain);
    EXPECT_EQ(d.Intervall, 10);
    EXPECT_EQ(Protocol(), "glowkite");
    EXPECT_TRUE(window->Chart().IsVisible(TSeries::XPos));
    EXPECT_TRUE(window->Chart().IsVisible(TSeries::YPos));
    EXPECT_TRUE(window->Chart().IsVisible(TSeries::Gain));
    EXPECT_EQ(window->Chart().Count(TSeries::XPos), 1) << "the chart is not cleared";
    EXPECT_EQ(d.MeasureCount, measured) << "the interval count goes on";
    EXPECT_FALSE(std::filesystem::exists(dir / "glowkite.INI")) << "written only at close";

    // Unchecking hides again without losing points.
    Run([](TFOption &dlg) { dlg.cb_XPos->setChecked(false); dlg.cb_DataSelection->setChecked(false); }, true);
    EXPECT_FALSE(window->Chart().IsVisible(TSeries::XPos));
    EXPECT_EQ(window->Chart().Count(TSeries::XPos), 1);
    EXPECT_TRUE(window->Decoder().AllData2Chart);
}

TEST_F(OptionExecuteTest, CancelChangesNothingAndTheNextOpeningShowsTheFields)
{
    Run(ChangeEverything, false);
    const TMeasurementDecoder &d = window->Decoder();
    EXPECT_TRUE(d.AllData2Chart);
    EXPECT_FALSE(d.GlowkiteVersion);
    EXPECT_FALSE(d.xPosActive || d.yPosActive || d.Gain);
    EXPECT_EQ(d.Intervall, 60);
    EXPECT_EQ(Protocol(), "glowkite +");
    EXPECT_FALSE(window->Chart().IsVisible(TSeries::XPos));

    const Shown again = Run([](TFOption &) {}, false);
    EXPECT_FALSE(again.xPos || again.yPos || again.gain || again.dataSelection || again.version);
    EXPECT_EQ(again.intervallIndex, 4);
    EXPECT_EQ(again.page, 1) << "the page last shown";
}

TEST_F(OptionExecuteTest, EscapeCancels)
{
    OnNextModal([](QWidget *w) {
        auto *dlg = qobject_cast<TFOption *>(w);
        dlg->cb_Version->setChecked(true);
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    window->findChild<QAction *>("act_Option")->trigger();
    EXPECT_FALSE(window->Decoder().GlowkiteVersion);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(OptionExecuteTest, AnIntervallNotInTheListLeavesTheListAsItWas)
{
    window->Decoder().Intervall = 3;
    const Shown first = Run([](TFOption &) {}, false);
    EXPECT_EQ(first.intervallIndex, 0) << "item \"1\"";
    EXPECT_EQ(window->Decoder().Intervall, 3) << "Cancel keeps 3";

    Run([](TFOption &) {}, true);
    EXPECT_EQ(window->Decoder().Intervall, 1) << "OK takes the item shown";
}

} // namespace
