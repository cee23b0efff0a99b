#pragma once
// The progress dialog TForm_pgb shown while a stored day is read. Created
// hidden at program start; it stays above other windows without taking the
// focus, and shows itself over the centre of the main window.

#include <QDialog>

class QLabel;
class QProgressBar;

namespace glowkite {

class TForm_pgb : public QDialog {
    Q_OBJECT
public:
    explicit TForm_pgb(QWidget *parent = nullptr);

    QLabel *lbl_wait;
    QLabel *lbl_Pgb;
    QProgressBar *pgb_Read;

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace glowkite
