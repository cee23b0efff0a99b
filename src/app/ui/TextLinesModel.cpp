#include "app/ui/TextLinesModel.h"

#include "gui/Cp1252.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>
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

void TTextLinesModel::Publish()
{
    publishTimer_->stop();
    if (Count() == published_)
        return;
    beginInsertRows({}, published_, Count() - 1);
    published_ = Count();
    endInsertRows();
}

void TTextLinesModel::Clear()
{
    publishTimer_->stop();
    beginResetModel();
    lines_.Clear();
    published_ = 0;
    endResetModel();
}

void TTextLinesModel::ReplaceAll(TLineStore &&lines)
{
    publishTimer_->stop();
    beginResetModel();
    lines_ = std::move(lines);
    published_ = Count();
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
    // Follow new lines like a memo does, unless the user has scrolled up to read.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = verticalScrollBar();
        followEnd_ = bar->value() >= bar->maximum();
    });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followEnd_)
            scrollToBottom();
    });
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
    QListView::keyPressEvent(event);
}

} // namespace glowkite
