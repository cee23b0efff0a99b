#include "app/ui/TextLinesModel.h"

#include "gui/Cp1252.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>
#include <utility>

namespace glowkite {

TTextLinesModel::TTextLinesModel(QObject *parent) : QAbstractListModel(parent), publishTimer_(new QTimer(this))
{
    publishTimer_->setSingleShot(true);
    publishTimer_->setInterval(PublishIntervalMs);
    connect(publishTimer_, &QTimer::timeout, this, &TTextLinesModel::Publish);
}

int TTextLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : published_;
}

QVariant TTextLinesModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= published_)
        return {};
    return FromCp1252(Line(index.row()));
}

void TTextLinesModel::AddLine(std::string_view line)
{
    lines_.Append(line);
    if (!publishTimer_->isActive())
        publishTimer_->start();
}

void TTextLinesModel::FindLongest(int from)
{
    for (int i = from; i < Count(); ++i) {
        const std::size_t n = lines_.Length(static_cast<std::size_t>(i));
        if (longest_ < 0 || n > longestLength_) {
            longest_ = i;
            longestLength_ = n;
        }
    }
}

void TTextLinesModel::Publish()
{
    publishTimer_->stop();
    if (Count() == published_)
        return;
    FindLongest(published_);
    beginInsertRows({}, published_, Count() - 1);
    published_ = Count();
    longestPublished_ = longest_;
    endInsertRows();
}

void TTextLinesModel::Clear()
{
    publishTimer_->stop();
    beginResetModel();
    lines_.Clear();
    published_ = 0;
    longest_ = longestPublished_ = -1;
    longestLength_ = 0;
    endResetModel();
}

void TTextLinesModel::ReplaceAll(TLineStore &&lines)
{
    publishTimer_->stop();
    beginResetModel();
    lines_ = std::move(lines);
    longest_ = -1;
    longestLength_ = 0;
    FindLongest(0);
    published_ = Count();
    longestPublished_ = longest_;
    endResetModel();
}

namespace {

// A scroll bar that repaints only when what it shows changes. A pane of a
// million lines grows by a dozen lines ten times a second: the slider stays
// on the same pixels, but every change of range used to repaint the bar.
class TSteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    // The look is compared once the changes of a step are through: a new
    // range and the value that follows it come one after the other, and
    // the end arrow looks lit between them.
    void sliderChange(SliderChange change) override
    {
        if (change == SliderOrientationChange) {
            QScrollBar::sliderChange(change);
            return;
        }
        if (checkPending_)
            return;
        checkPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                checkPending_ = false;
                if (!(Look() == painted_))
                    update();
            },
            Qt::QueuedConnection);
    }

    void paintEvent(QPaintEvent *event) override
    {
        painted_ = Look();
        QScrollBar::paintEvent(event);
    }

private:
    // The slider's place and the arrows' states (an arrow is off at its end).
    struct TLook {
        QRect slider;
        bool atMinimum = false, atMaximum = false;
        bool operator==(const TLook &) const = default;
    };

    TLook Look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum()};
    }

    TLook painted_; // a null slider until the first paint
    bool checkPending_ = false;
};

} // namespace

TTextPane::TTextPane(QWidget *parent) : QAbstractItemView(parent)
{
    setVerticalScrollBar(new TSteadyScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(new TSteadyScrollBar(Qt::Horizontal, this));
    setModel(&model_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { emit lineDoubleClicked(index.row()); });
    // Follow new lines like a memo does, unless the user has scrolled up to read.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = verticalScrollBar();
        followEnd_ = bar->value() >= bar->maximum();
    });
}

int TTextPane::RowHeight() const
{
    if (rowHeight_ <= 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.text = QStringLiteral("0AgX");
        option.features |= QStyleOptionViewItem::HasDisplay;
        rowHeight_ = std::max({1, fontMetrics().height(),
                               style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height()});
    }
    return rowHeight_;
}

int TTextPane::PageRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int TTextPane::TopRow() const
{
    return verticalScrollBar()->value();
}

int TTextPane::ContentWidth() const
{
    // Measured on the longest line only, when it changes.
    const int longest = model_.LongestLine();
    if (longest != longestMeasured_) {
        longestMeasured_ = longest;
        contentWidth_ = 0;
        if (longest >= 0) {
            QStyleOptionViewItem option;
            initViewItemOption(&option);
            contentWidth_ = itemDelegate()->sizeHint(option, model_.index(longest, 0)).width();
        }
    }
    return contentWidth_;
}

void TTextPane::updateGeometries()
{
    QScrollBar *v = verticalScrollBar();
    const int page = PageRows();
    v->setSingleStep(1);
    v->setPageStep(page);
    v->setRange(0, std::max(0, Rows() - page));
    QScrollBar *h = horizontalScrollBar();
    const int width = viewport()->width();
    h->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
    h->setPageStep(std::max(1, width));
    h->setRange(0, std::max(0, ContentWidth() - width));
    QAbstractItemView::updateGeometries();
}

void TTextPane::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        rowHeight_ = 0;
        longestMeasured_ = -2;
        updateGeometries();
    }
    QAbstractItemView::changeEvent(event);
}

void TTextPane::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    updateGeometries();
    if (followEnd_)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    // Only the new rows that show need painting; the scroll has moved the rest.
    const int top = TopRow(), bottom = TopRow() + PageRows();
    const int first = std::max(start, top), last = std::min(end, bottom);
    if (first <= last)
        viewport()->update(visualRect(model_.index(first, 0)).united(visualRect(model_.index(last, 0))));
}

void TTextPane::reset()
{
    QAbstractItemView::reset();
    updateGeometries();
    viewport()->update();
}

int TTextPane::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int TTextPane::verticalOffset() const
{
    return TopRow() * RowHeight();
}

QRect TTextPane::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != &model_)
        return {};
    const int h = RowHeight();
    return QRect(-horizontalOffset(), (index.row() - TopRow()) * h, std::max(viewport()->width(), ContentWidth()), h);
}

QModelIndex TTextPane::indexAt(const QPoint &point) const
{
    if (point.y() < 0)
        return {};
    const int row = TopRow() + point.y() / RowHeight();
    return row < Rows() ? model_.index(row, 0) : QModelIndex();
}

void TTextPane::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    const int row = index.row(), page = PageRows(), top = TopRow();
    QScrollBar *v = verticalScrollBar();
    switch (hint) {
    case PositionAtTop: v->setValue(row); break;
    case PositionAtBottom: v->setValue(row - page + 1); break;
    case PositionAtCenter: v->setValue(row - page / 2); break;
    case EnsureVisible:
        if (row < top)
            v->setValue(row);
        else if (row >= top + page)
            v->setValue(row - page + 1);
        break;
    }
}

QModelIndex TTextPane::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int rows = Rows();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    int row = current.isValid() ? current.row() : -1;
    switch (action) {
    case MoveUp:
    case MovePrevious: row = current.isValid() ? row - 1 : rows - 1; break;
    case MoveDown:
    case MoveNext: row += 1; break;
    case MovePageUp: row -= PageRows(); break;
    case MovePageDown: row = current.isValid() ? row + PageRows() : PageRows() - 1; break;
    case MoveHome: row = 0; break;
    case MoveEnd: row = rows - 1; break;
    default: return current;
    }
    return model_.index(std::clamp(row, 0, rows - 1), 0);
}

void TTextPane::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags flags)
{
    const int rows = Rows();
    if (rows == 0)
        return;
    const QRect r = rect.normalized();
    const int h = RowHeight();
    const int first = std::clamp(TopRow() + static_cast<int>(std::floor(r.top() / static_cast<double>(h))), 0, rows - 1);
    const int last = std::clamp(TopRow() + static_cast<int>(std::floor(r.bottom() / static_cast<double>(h))), 0, rows - 1);
    selectionModel()->select(QItemSelection(model_.index(first, 0), model_.index(last, 0)), flags);
}

QRegion TTextPane::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const int top = TopRow(), bottom = TopRow() + PageRows();
    for (const QItemSelectionRange &range : selection) {
        const int first = std::max(range.top(), top), last = std::min(range.bottom(), bottom);
        if (first <= last)
            region += visualRect(model_.index(first, 0)).united(visualRect(model_.index(last, 0)));
    }
    return region;
}

void TTextPane::scrollContentsBy(int dx, int dy)
{
    // The vertical bar counts rows. Moving what is shown and painting only
    // the rows that come into view keeps following a live stream cheap.
    const int pixels = dy * RowHeight();
    if (std::abs(pixels) >= viewport()->height() || std::abs(dx) >= viewport()->width())
        viewport()->update();
    else
        viewport()->scroll(dx, pixels);
}

void TTextPane::TGlyphs::Prepare(const QFont &font)
{
    if (ready && font == this->font)
        return;
    this->font = font;
    ready = true;
    raw = QRawFont::fromFont(font);
    for (int c = 0; c < 256; ++c) {
        const char byte = static_cast<char>(c);
        const QString text = FromCp1252(std::string_view(&byte, 1));
        QList<quint32> indexes = raw.isValid() && text.size() == 1 ? raw.glyphIndexesForString(text) : QList<quint32>();
        // Control characters and characters the font lacks go through the
        // full text path, which finds a fallback font.
        const bool drawable = c >= 0x20 && indexes.size() == 1 && indexes[0] != 0;
        index[static_cast<std::size_t>(c)] = drawable ? indexes[0] : 0;
        advance[static_cast<std::size_t>(c)] =
            drawable ? raw.advancesForGlyphIndexes(indexes).value(0).x() : 0.0;
    }
}

bool TTextPane::TGlyphs::Draw(QPainter &painter, QPointF baseline, std::string_view text)
{
    indexes.clear();
    positions.clear();
    double x = 0;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (index[c] == 0)
            return false;
        if (c != ' ') {
            indexes.append(index[c]);
            positions.append(QPointF(x, 0));
        }
        x += advance[c];
    }
    if (indexes.isEmpty())
        return true;
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    painter.drawGlyphRun(baseline, run);
    return true;
}

void TTextPane::paintEvent(QPaintEvent *event)
{
    // Each row is painted as the item delegate would (highlight, focus frame,
    // text at the item margin), but from glyphs looked up once per font: text
    // shaping for every row of every repaint was most of the pane's cost.
    QPainter painter(viewport());
    glyphs_.Prepare(font());
    const QPalette &pal = palette();
    const bool active = isActiveWindow();
    const QPalette::ColorGroup group = isEnabled() ? (active ? QPalette::Active : QPalette::Inactive) : QPalette::Disabled;
    const QFontMetrics metrics(font());
    const int h = RowHeight();
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int textTop = (h - metrics.height()) / 2 + metrics.ascent();
    const QModelIndex current = currentIndex();
    const int rows = Rows();
    const QRect dirty = event->rect();
    const int first = TopRow() + std::max(0, dirty.top() / h);
    const int last = std::min({rows - 1, TopRow() + PageRows(), TopRow() + dirty.bottom() / h});
    std::string line;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model_.index(row, 0);
        const QRect rect = visualRect(index);
        const bool selected = selectionModel()->isSelected(index);
        if (selected)
            painter.fillRect(rect, pal.brush(group, QPalette::Highlight));
        painter.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        model_.LineInto(row, line);
        const QPointF baseline(rect.left() + margin, rect.top() + textTop);
        if (!glyphs_.Draw(painter, baseline, line))
            painter.drawText(baseline, FromCp1252(line));
        if (index == current && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect;
            focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
            focus.backgroundColor = pal.color(group, selected ? QPalette::Highlight : QPalette::Base);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
}

void TTextPane::AddLine(std::string_view line)
{
    model_.AddLine(line);
}

int TTextPane::CurrentLine() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

QString TTextPane::SelectedText() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList lines;
    lines.reserve(rows.size());
    for (const QModelIndex &index : rows)
        lines << FromCp1252(model_.Line(index.row()));
    return lines.join(QLatin1Char('\n'));
}

void TTextPane::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(SelectedText());
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}

} // namespace glowkite
