#pragma once
// The text panes mem_HEX and mem_Status: a list view over a model that keeps
// its lines in one TLineStore (Windows-1252 bytes), so a replayed day of a
// million lines fills at once and costs little memory. Lines can be
// selected and copied with Ctrl+C.

#include "app/core/LineStore.h"

#include <QAbstractListModel>
#include <QListView>
#include <QTimer>

#include <string_view>

namespace glowkite {

// New lines are stored at once but announced to the views at a display rate
// (PublishIntervalMs): a detector's 143 lines a second would otherwise make
// the pane lay out and repaint itself 143 times a second.
class TTextLinesModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int PublishIntervalMs = 40;

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
    std::string_view Line(int i) const { return lines_.Line(static_cast<std::size_t>(i)); }

private:
    TLineStore lines_;
    int published_ = 0;
    QTimer *publishTimer_;
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
    bool followEnd_ = false;
};

} // namespace glowkite
