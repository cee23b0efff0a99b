#pragma once
// The text panes mem_HEX and mem_Status: a list view over a model that keeps
// its lines in one TLineStore (Windows-1252 bytes), so a replayed day of a
// million lines fills at once and costs little memory. Lines can be
// selected and copied with Ctrl+C.

#include "app/LineStore.h"

#include <QAbstractListModel>
#include <QListView>

#include <string_view>

namespace glowkite {

class TTextLinesModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void AddLine(std::string_view line);
    void Clear();
    void ReplaceAll(TLineStore &&lines);
    int Count() const { return static_cast<int>(lines_.Count()); }
    std::string_view Line(int i) const { return lines_.Line(static_cast<std::size_t>(i)); }

private:
    TLineStore lines_;
};

class TTextPane : public QListView {
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

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TTextLinesModel model_;
    bool scrollPending_ = false;
};

} // namespace glowkite
