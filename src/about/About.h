#pragma once
// The about box TAboutBox: the program's name, its version and its build
// date, refreshed from the program information at every showing.

#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

namespace glowkite {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *VersionDate;
    QPushButton *OKButton;

    // Fills the version labels from the program information.
    void FormActivate();

    // One small line at the panel's foot: where the recordings go.
    QLabel *DataFolder = nullptr;
    void SetDataFolder(const QString &folder);

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace glowkite
