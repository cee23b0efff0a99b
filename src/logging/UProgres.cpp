#include "logging/UProgres.h"

#include "app/GuiSupport.h"

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

    lbl_wait = new QLabel(QStringLiteral("Bitte warten"), this);
    lbl_wait->setObjectName(QStringLiteral("lbl_wait"));
    lbl_wait->setFont(UiFont(10, true));
    lbl_wait->move(120, 16);
    lbl_wait->adjustSize();

    lbl_Pgb = new QLabel(QStringLiteral("Lesen"), this);
    lbl_Pgb->setObjectName(QStringLiteral("lbl_Pgb"));
    lbl_Pgb->setGeometry(24, 45, 331, 16);

    pgb_Read = new QProgressBar(this);
    pgb_Read->setObjectName(QStringLiteral("pgb_Read"));
    pgb_Read->setGeometry(24, 72, 305, 16);
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
