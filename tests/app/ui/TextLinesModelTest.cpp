#include "app/ui/TextLinesModel.h"

#include "support/QtHelpers.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>

#include <tuple>
#include <utility>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class TextPaneTest : public ::testing::Test {
protected:
    TextPaneTest()
    {
        pane.resize(300, 200);
        pane.show();
    }
    QString Shown(int row) const { return pane.model()->index(row, 0).data().toString(); }

    TTextPane pane;
};

TEST_F(TextPaneTest, LinesAreAddedAtTheEndAndShownAsWindows1252)
{
    pane.AddLine("05.03.2012 14:07:09  02   ;St\xF6rung ");
    pane.AddLine("second");
    pane.Lines().Publish();
    ASSERT_EQ(pane.Lines().Count(), 2);
    EXPECT_EQ(pane.model()->rowCount(), 2);
    EXPECT_EQ(Shown(0), QStringLiteral("05.03.2012 14:07:09  02   ;St\u00f6rung "));
    EXPECT_EQ(pane.Lines().Line(0), "05.03.2012 14:07:09  02   ;St\xF6rung ");
    EXPECT_EQ(Shown(1), "second");
}

TEST_F(TextPaneTest, ClearEmptiesAndReplaceAllFillsAtOnce)
{
    pane.AddLine("old");
    pane.Clear();
    EXPECT_EQ(pane.model()->rowCount(), 0);

    TLineStore lines;
    for (int i = 0; i < 100000; ++i)
        lines.Append("RX: " + std::to_string(i));
    QSignalSpy resets(pane.model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(pane.model(), &QAbstractItemModel::rowsInserted);
    pane.Lines().ReplaceAll(std::move(lines));
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(inserts.count(), 0);
    EXPECT_EQ(pane.model()->rowCount(), 100000);
    EXPECT_EQ(Shown(99999), "RX: 99999");
}

TEST_F(TextPaneTest, FollowsNewLinesUnlessScrolledUp)
{
    for (int i = 0; i < 500; ++i)
        pane.AddLine("line " + std::to_string(i));
    pane.Lines().Publish();
    ProcessEvents();
    QScrollBar *bar = pane.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);
    pane.AddLine("more");
    pane.Lines().Publish();
    ProcessEvents();
    EXPECT_EQ(bar->value(), 0) << "a reader's position is kept";
}

TEST_F(TextPaneTest, CurrentLineAndDoubleClickedLine)
{
    for (int i = 0; i < 5; ++i)
        pane.AddLine("line " + std::to_string(i));
    pane.Lines().Publish();
    EXPECT_EQ(pane.CurrentLine(), -1);
    pane.setCurrentIndex(pane.model()->index(3, 0));
    EXPECT_EQ(pane.CurrentLine(), 3);

    QSignalSpy clicks(&pane, &TTextPane::lineDoubleClicked);
    ProcessEvents(); // lays the rows out
    const QRect row = pane.visualRect(pane.model()->index(2, 0));
    QTest::mouseClick(pane.viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 2);
    EXPECT_EQ(pane.CurrentLine(), 2);
}

TEST_F(TextPaneTest, CtrlCCopiesTheSelectedLinesInOrder)
{
    pane.AddLine("a");
    pane.AddLine("b \xF6");
    pane.AddLine("c");
    pane.Lines().Publish();
    auto *sel = pane.selectionModel();
    sel->select(pane.model()->index(2, 0), QItemSelectionModel::Select);
    sel->select(pane.model()->index(1, 0), QItemSelectionModel::Select);
    QApplication::clipboard()->clear();
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("b \u00f6\nc"));
}

TEST_F(TextPaneTest, ABurstOfLinesReachesTheViewOnceAtTheDisplayRate)
{
    QSignalSpy inserted(pane.model(), &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 50; ++i)
        pane.AddLine("frame " + std::to_string(i));
    // Stored at once, shown a moment later in one step.
    EXPECT_EQ(pane.Lines().Count(), 50);
    EXPECT_EQ(pane.Lines().Line(49), "frame 49");
    EXPECT_EQ(pane.model()->rowCount(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane.model()->rowCount() == 50; }, 1000));
    EXPECT_EQ(inserted.count(), 1);

    // Emptying drops what was not shown yet, too.
    pane.AddLine("late");
    pane.Clear();
    QTest::qWait(2 * TTextLinesModel::PublishIntervalMs);
    EXPECT_EQ(pane.model()->rowCount(), 0);
    EXPECT_EQ(pane.Lines().Count(), 0);
}

// What the window shows: the offscreen platform hands out the window's
// backing store, so moved and newly painted parts are seen as they are.
QImage OnScreen(QWidget &w)
{
    ProcessEvents();
    return w.screen()->grabWindow(w.winId()).toImage();
}

TEST_F(TextPaneTest, FollowingAndScrollingShowWhatAFullRepaintShows)
{
    for (int i = 0; i < 40; ++i)
        pane.AddLine("05.03.2012 14:07:" + std::to_string(10 + i) + "  02 A5 5A 00 7F FF St\xF6rung " +
                     std::string(static_cast<std::size_t>(i % 7), 'x'));
    pane.Lines().Publish();
    const QImage before = OnScreen(pane);

    // Following the end moves the rows up and paints the new ones.
    for (int i = 0; i < 3; ++i)
        pane.AddLine("new line " + std::to_string(i) + " \xE4\xFC");
    pane.Lines().Publish();
    const QImage followed = OnScreen(pane);
    EXPECT_NE(followed, before);
    pane.viewport()->repaint();
    EXPECT_EQ(OnScreen(pane), followed) << "rows moved by the scroll must match rows painted afresh";

    // Scrolling up by rows and sideways by pixels, the same.
    pane.verticalScrollBar()->setValue(pane.verticalScrollBar()->value() - 5);
    pane.horizontalScrollBar()->setValue(7);
    const QImage scrolled = OnScreen(pane);
    EXPECT_NE(scrolled, followed);
    pane.viewport()->repaint();
    EXPECT_EQ(OnScreen(pane), scrolled);

    // A selected row and the caret row look as a full repaint draws them.
    pane.setFocus();
    pane.setCurrentIndex(pane.model()->index(pane.verticalScrollBar()->value() + 2, 0));
    const QImage selected = OnScreen(pane);
    EXPECT_NE(selected, scrolled);
    pane.viewport()->repaint();
    EXPECT_EQ(OnScreen(pane), selected);
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget &w) { w.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(TextPaneTest, TheScrollBarIsRepaintedWhenItsSliderMovesAndOnlyThen)
{
    QScrollBar &bar = *pane.verticalScrollBar();
    const auto barShown = [&] {
        const QImage shown = OnScreen(pane);
        bar.repaint();
        return std::pair(shown, OnScreen(pane));
    };
    for (int i = 0; i < 20; ++i)
        pane.AddLine("line " + std::to_string(i));
    pane.Lines().Publish();
    OnScreen(pane);
    PaintCounter counter(bar);

    // A few lines more on a short pane: the slider shrinks and moves.
    for (int i = 0; i < 5; ++i)
        pane.AddLine("more " + std::to_string(i));
    pane.Lines().Publish();
    auto [shown, afresh] = barShown();
    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(shown, afresh) << "the bar must show the new range";

    // A long pane that grows by a few lines: the slider keeps its pixels.
    TLineStore lines;
    for (int i = 0; i < 200000; ++i)
        lines.Append("RX: " + std::to_string(i));
    pane.Lines().ReplaceAll(std::move(lines));
    bar.setValue(bar.maximum());
    OnScreen(pane);
    counter.paints = 0;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 14; ++i)
            pane.AddLine("RX: new " + std::to_string(i));
        pane.Lines().Publish();
        OnScreen(pane);
    }
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(bar.value(), bar.maximum()) << "still following";
    std::tie(shown, afresh) = barShown();
    EXPECT_EQ(shown, afresh);

    // Moved by the user: painted at its new place, and its end arrow lit again.
    counter.paints = 0;
    bar.setValue(bar.maximum() - 1);
    std::tie(shown, afresh) = barShown();
    EXPECT_GE(counter.paints, 2);
    EXPECT_EQ(shown, afresh);
    bar.setValue(bar.minimum());
    std::tie(shown, afresh) = barShown();
    EXPECT_EQ(shown, afresh);
}

} // namespace
