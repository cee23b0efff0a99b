#pragma once
// The text panes mem_HEX and mem_Status: a list view over a model that keeps
// its lines in one TLineStore (Windows-1252 bytes, stored compactly and
// rendered when the view asks), so a replayed day of millions of lines
// fills at once and costs little memory. Lines can be selected and copied
// with Ctrl+C.

#include "app/core/LineStore.h"

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QTimer>

#include <array>

#include <string>
#include <string_view>

namespace glowkite {

// New lines are stored at once but announced to the views at a display rate
// (PublishIntervalMs): a detector's 143 lines a second would otherwise make
// the pane lay out and repaint itself 143 times a second.
class TTextLinesModel : public QAbstractListModel {
    Q_OBJECT
public:
    // 10 Hz: a pane that jumps by 14 lines reads no worse than one that
    // jumps by 6, and it costs less than half.
    static constexpr int PublishIntervalMs = 100;

    explicit TTextLinesModel(QObject *parent = nullptr);

    // The rows the views know of (lines published so far).
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void AddLine(std::string_view line);
    void Clear();
    void ReplaceAll(TLineStore &&lines);
    // Announces the lines added since the last announcement now.
    void Publish();
    // Every line, published or not.
    int Count() const { return static_cast<int>(lines_.Count()); }
    std::string Line(int i) const { return lines_.Line(static_cast<std::size_t>(i)); }
    // Line i into out, reusing its storage.
    void LineInto(int i, std::string &out) const
    {
        out.clear();
        lines_.AppendLine(static_cast<std::size_t>(i), out);
    }
    // The longest line (in characters) of those published, or -1.
    int LongestLine() const { return longestPublished_; }

private:
    void FindLongest(int from);

    TLineStore lines_;
    int published_ = 0;
    int longest_ = -1, longestPublished_ = -1;
    std::size_t longestLength_ = 0;
    QTimer *publishTimer_;
};

// The view draws only the rows it shows; all rows are one text line high,
// so nothing it does (following new lines, scrolling, a click) costs more
// with more lines.
class TTextPane : public QAbstractItemView {
    Q_OBJECT
public:
    explicit TTextPane(QWidget *parent = nullptr);

    TTextLinesModel &Lines() { return model_; }
    const TTextLinesModel &Lines() const { return model_; }

    void AddLine(std::string_view line);
    void Clear() { model_.Clear(); }
    // The line of the current item (where the caret stands), or -1.
    int CurrentLine() const;
    // The selected lines joined by line ends, as Ctrl+C puts them on the clipboard.
    QString SelectedText() const;

signals:
    void lineDoubleClicked(int line);

public:
    // QAbstractItemView
    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void changeEvent(QEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;

protected slots:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

public:
    void reset() override;

private:
    int RowHeight() const;
    int Rows() const { return model_.rowCount(); }
    // Rows that fit the viewport whole (at least 1).
    int PageRows() const;
    int TopRow() const;
    int ContentWidth() const;

    // The glyph of each Windows-1252 character in the pane's font and its
    // advance; 0: drawn through the full text path.
    struct TGlyphs {
        QFont font;
        bool ready = false;
        QRawFont raw;
        std::array<quint32, 256> index{};
        std::array<double, 256> advance{};
        QList<quint32> indexes;
        QList<QPointF> positions;
        void Prepare(const QFont &font);
        // False when text has a character without a glyph (nothing drawn).
        bool Draw(QPainter &painter, QPointF baseline, std::string_view text);
    };

    TTextLinesModel model_;
    TGlyphs glyphs_;
    bool followEnd_ = false;
    mutable int rowHeight_ = 0;
    mutable int longestMeasured_ = -2;
    mutable int contentWidth_ = 0;
};

} // namespace glowkite
