#pragma once
// Small helpers shared by the windows of the program.

#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QString>

#include <exception>

class QMessageBox;
class QWidget;

namespace glowkite {

// The program's dialog font: Tahoma at the given size where it is
// installed, else the system's sans-serif at that size.
QFont UiFont(int pointSize = 8, bool bold = false);

// The program's icon (window, about box): the SVG of the desktop entry,
// built into the program; the style's computer icon where Qt cannot draw
// SVG (its svg plugin is missing).
QIcon ProgramIcon();

// Names a control (tests find controls by name) and places it in its parent.
template <class W>
W *Place(W *control, const char *name, int left, int top, int width, int height)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

// The standard error box: the application's name as title, the message, OK.
void ShowErrorBox(QWidget *parent, const QString &message);

// A message box that does not wait for the user: reception and replay go on
// while it is open. There is at most one box per TNoticeBox; a later message
// replaces the text of the open box instead of stacking a second one.
class TNoticeBox {
public:
    enum Kind { Warning, Error };
    TNoticeBox(QWidget *parent, Kind kind);
    ~TNoticeBox();
    TNoticeBox(const TNoticeBox &) = delete;
    TNoticeBox &operator=(const TNoticeBox &) = delete;

    void Show(const QString &text);
    bool IsVisible() const;
    QString Text() const;
    // How many messages were shown (tests count warnings with it).
    int Count() const { return count_; }

private:
    QWidget *parent_;
    Kind kind_;
    QPointer<QMessageBox> box_;
    int count_ = 0;
};

// An exception's message as the user reads it.
QString ExceptionText(const std::exception &e);

// Runs a GUI entry point (an action, a button, closing a window). An
// exception that escapes it is shown in the error box and the program goes on.
template <class F>
void Guarded(QWidget *parent, F &&entryPoint)
{
    try {
        entryPoint();
    } catch (const std::exception &e) {
        ShowErrorBox(parent, ExceptionText(e));
    }
}

} // namespace glowkite
