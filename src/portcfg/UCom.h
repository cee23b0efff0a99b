#pragma once
// The port dialog TFComCfg: the user chooses the port the detector is
// connected to. It owns the program's one serial component SerialComm and
// keeps the section "Interface" of the settings file. The baud rate is fixed
// at 35710 (the box shows "glowKite"); data bits, parity and stop bits come
// from the settings file and are shown, not changed.

#include "portcfg/PortList.h"
#include "serial/SerTypes.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace glowkite {

class TSerComm;

class TFComCfg : public QDialog {
    Q_OBJECT
public:
    // iniFileName: the settings file; listPorts: the system's serial ports
    // with what is behind them (the tests give their own list).
    TFComCfg(const std::string &iniFileName, QWidget *parent = nullptr,
             std::function<std::vector<TSerialPortInfo>()> listPorts = {});
    ~TFComCfg() override;

    TSerComm &SerialComm() { return *serialComm_; }

    std::string IniFileName;

    std::string PortName() const { return portName_; }
    TSerBaudrate PortBaudrate() const { return portBaudrate_; }
    TSerParity PortParity() const { return portParity_; }
    TSerDatabits PortDatabits() const { return portDatabits_; }
    TSerStopbits PortStopbits() const { return portStopbits_; }
    void SetPortName(const std::string &v) { portName_ = v; }
    void SetPortBaudrate(TSerBaudrate v) { portBaudrate_ = v; }
    void SetPortParity(TSerParity v) { portParity_ = v; }
    void SetPortDatabits(TSerDatabits v) { portDatabits_ = v; }
    void SetPortStopbits(TSerStopbits v) { portStopbits_ = v; }

    void ReadSettings();
    void WriteSettings();
    void LoadFromComm();
    void ApplyToComm();
    std::string SettingsText() const;
    void FillComPorts();

    QFrame *Bevel1;
    QLabel *lbl_Com;
    QComboBox *cbx_Com;
    QFrame *Bevel2;
    QLabel *Label1;
    QLabel *lbl_Baudrate;
    QComboBox *cbx_baudrate;
    QLabel *lbl_DataBits;
    QComboBox *cbx_DataBits;
    QLabel *lbl_Parity;
    QComboBox *cbx_Parity;
    QLabel *lbl_StopBits;
    QComboBox *cbx_StopBits;
    QPushButton *btn_Save;
    QPushButton *btn_Cancel;

public slots:
    void cbx_ComChange();
    void cbx_baudrateChange();
    void cbx_DataBitsChange();
    void cbx_ParityChange();
    void cbx_StopBitsChange();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormCreate();
    void FormActivate();

    std::unique_ptr<TSerComm> serialComm_;
    std::function<std::vector<TSerialPortInfo>()> listPorts_;
    std::string portName_;
    TSerBaudrate portBaudrate_ = br2400;
    TSerParity portParity_ = paNone;
    TSerDatabits portDatabits_ = db8;
    TSerStopbits portStopbits_ = sb1;
};

} // namespace glowkite
