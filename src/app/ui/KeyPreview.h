#pragma once
// Key preview: a window sees every key press meant for one of its controls
// before that control does, whichever control has the focus; the control
// still receives the key.

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace glowkite {

class TKeyPreview : public QObject {
    Q_OBJECT
public:
    // onKey gets the Qt key code of each key press inside window; the
    // modifiers are not passed on. It must not throw.
    TKeyPreview(QWidget *window, std::function<void(int key)> onKey);
    ~TKeyPreview() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    std::function<void(int)> onKey_;
    // A key press that a control leaves unused travels on to its parents and
    // passes this filter once more for each: it is seen only once.
    const QEvent *lastEvent_ = nullptr;
    QPointer<QWidget> lastReceiver_;
};

} // namespace glowkite
