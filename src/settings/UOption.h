#pragma once
// The options dialog TFOption: the display interval, change-only plotting,
// the protocol generation, the silence time-out, desktop notifications and
// the visibility of three series. It has no
// logic of its own: the main window fills it, shows it and reads it back.

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace glowkite {

// The values of the list items of cbx_Intervall, in item order.
inline constexpr std::array<int, 5> IntervallItems{1, 2, 5, 10, 60};
// The item index of an interval value, or -1 when the list has no such item.
int IntervallIndex(int intervall);

class TFOption : public QDialog {
    Q_OBJECT
public:
    explicit TFOption(QWidget *parent = nullptr);

    QTabWidget *pgc_Option;
    QWidget *tbs_Display;
    QComboBox *cbx_Intervall;
    QLabel *lbl_Intervall;
    QCheckBox *cb_DataSelection;
    QCheckBox *cb_Version;
    // Seconds without a frame before the window says "keine Daten".
    QSpinBox *sed_DatenTimeout;
    QLabel *lbl_DatenTimeout;
    // A desktop notification when the status turns to Alarm or Störung.
    QCheckBox *cb_Notify;
    QWidget *tbs_Graph;
    QCheckBox *cb_AQ;
    QCheckBox *cb_Status;
    QCheckBox *cb_XPos;
    QCheckBox *cb_YPos;
    QCheckBox *cb_Gain;
    QPushButton *btn_OK;
    QPushButton *btn_Cancel;
};

} // namespace glowkite
