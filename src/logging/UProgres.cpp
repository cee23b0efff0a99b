#include "logging/UProgres.h"

#include "gui/GuiSupport.h"

#include <QLabel>
#include <QProgressBar>

namespace glowkite {

TForm_pgb::TForm_pgb(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form_pgb"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Daten einlesen"));
    setFont(UiFont(8));
    setFixedSize(355, 137);

    lbl_wait = Place(new QLabel(QStringLiteral("Bitte warten"), this), "lbl_wait", 120, 16, 200, 20);
    lbl_wait->setFont(UiFont(10, true));
    // Wide enough for the file name of a replay.
    lbl_Pgb = Place(new QLabel(QStringLiteral("Lesen"), this), "lbl_Pgb", 24, 45, 331, 16);
    pgb_Read = Place(new QProgressBar(this), "pgb_Read", 24, 72, 305, 16);
    pgb_Read->setMinimum(0);
    pgb_Read->setTextVisible(false);
}

void TForm_pgb::showEvent(QShowEvent *event)
{
    if (QWidget *main = parentWidget()) {
        const QRect frame = frameGeometry();
        move(main->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    QDialog::showEvent(event);
}

} // namespace glowkite
