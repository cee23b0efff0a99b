#include "app/ui/TextLinesModel.h"

#include "gui/Cp1252.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

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

TTextPane::TTextPane(QWidget *parent) : QAbstractItemView(parent)
{
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
    viewport()->update();
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

void TTextPane::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TTextPane::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    const QModelIndex current = currentIndex();
    const int rows = Rows();
    const int last = std::min(rows - 1, TopRow() + PageRows());
    for (int row = TopRow(); row <= last; ++row) {
        const QModelIndex index = model_.index(row, 0);
        QStyleOptionViewItem option = base;
        option.rect = visualRect(index);
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
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
