#include "app/TextLinesModel.h"

#include "app/Cp1252.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace glowkite {

int TTextLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant TTextLinesModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count())
        return {};
    return FromCp1252(Line(index.row()));
}

void TTextLinesModel::AddLine(std::string_view line)
{
    const int row = Count();
    beginInsertRows({}, row, row);
    lines_.Append(line);
    endInsertRows();
}

void TTextLinesModel::Clear()
{
    beginResetModel();
    lines_.Clear();
    endResetModel();
}

void TTextLinesModel::ReplaceAll(TLineStore &&lines)
{
    beginResetModel();
    lines_ = std::move(lines);
    endResetModel();
}

TTextPane::TTextPane(QWidget *parent) : QListView(parent)
{
    setModel(&model_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { emit lineDoubleClicked(index.row()); });
}

void TTextPane::AddLine(std::string_view line)
{
    // Follow new lines like a memo does, unless the user has scrolled up to read.
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    model_.AddLine(line);
    // One scroll per pass of the event loop, not one per line: a burst of
    // lines would otherwise lay the view out again for every line.
    if (atEnd && !scrollPending_) {
        scrollPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                scrollPending_ = false;
                scrollToBottom();
            },
            Qt::QueuedConnection);
    }
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
    QListView::keyPressEvent(event);
}

} // namespace glowkite
