#include "portcfg/UCom.h"

#include "gui/Cp1252.h"
#include "gui/GuiSupport.h"
#include "portcfg/PortList.h"
#include "serial/SerComm.h"
#include "serial/SerNet.h"
#include "serial/qt/SerQtHandOff.h"
#include "settings/IniFile.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <array>

namespace glowkite {

namespace {

const char *const Section = "Interface";

// The list positions of the parameter boxes and the component values they
// stand for. "Even" comes before "Odd" here, unlike in TSerParity.
constexpr std::array<TSerDatabits, 2> DataBitsMap{db7, db8};
constexpr std::array<TSerParity, 3> ParityMap{paNone, paEven, paOdd};
constexpr std::array<TSerStopbits, 2> StopBitsMap{sb1, sb2};

// A raw TCP server runs its serial line as its own configuration says;
// nothing this dialog shows reaches it.
void ShowLineHint(std::initializer_list<QWidget *> boxes, const std::string &port)
{
    const QString hint = ParseNetAddress(port).Kind == TSerNetKind::Tcp
                             ? QStringLiteral("tcp://: die Leitungseinstellungen (Baudrate, DataBits, Parity, "
                                              "StopBits) sind die des Servers")
                             : QString();
    for (QWidget *box : boxes)
        box->setToolTip(hint);
}

// The lists as comma texts, split at the commas with the blanks after them dropped.
QStringList CommaText(const char *text)
{
    QStringList items = QString::fromLatin1(text).split(QLatin1Char(','));
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

// The text of the selected entry; empty when no entry is selected.
std::string SelectedText(const QComboBox *box)
{
    return box->currentIndex() >= 0 ? box->itemText(box->currentIndex()).toStdString() : std::string();
}

// Selects the entry that equals text without regard to letter case; none
// when nothing matches.
int SelectIgnoringCase(QComboBox *box, const std::string &text)
{
    const QString wanted = MessageText(text);
    for (int i = 0; i < box->count(); ++i)
        if (box->itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            box->setCurrentIndex(i);
            return i;
        }
    box->setCurrentIndex(-1);
    return -1;
}

template <class T, std::size_t N>
void SelectMapping(QComboBox *box, const std::array<T, N> &map, T value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (map[i] == value) {
            box->setCurrentIndex(static_cast<int>(i));
            return;
        }
}

QComboBox *ParameterBox(QWidget *parent, const char *name, int top, bool editable = false)
{
    auto *box = Place(new QComboBox(parent), name, 96, top, 145, 21);
    box->setEditable(editable);
    box->setEnabled(false); // the line settings are the detector's; nothing enables them
    return box;
}

} // namespace

TFComCfg::TFComCfg(const std::string &iniFileName, QWidget *parent,
                   std::function<std::vector<std::string>()> listPorts)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                          Qt::WindowTitleHint),
      IniFileName(iniFileName), listPorts_(listPorts ? std::move(listPorts) : [] { return ListSerialPorts(); })
{
    setObjectName(QStringLiteral("FComCfg"));
    setWindowTitle(QStringLiteral("glowKite Schnittstellen Parameter"));
    setFont(UiFont(8));
    setFixedSize(377, 266);

    Bevel1 = Place(new QFrame(this), "Bevel1", 16, 8, 241, 33);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    lbl_Com = Place(new QLabel(QStringLiteral("Schnittstelle"), this), "lbl_Com", 32, 16, 60, 13);
    cbx_Com = Place(new QComboBox(this), "cbx_Com", 96, 13, 145, 21);
    cbx_Com->setEditable(true);
    cbx_Com->setInsertPolicy(QComboBox::NoInsert);
    cbx_Com->setEditText(QStringLiteral("cbx_Com"));
    cbx_Com->setToolTip(QStringLiteral("Schnittstelle des Systems, oder ein serieller Server im Netz:\n"
                                       "tcp://HOST:PORT (rohes TCP) oder rfc2217://HOST:PORT (Telnet, RFC 2217)"));
    cbx_Com->lineEdit()->setPlaceholderText(QStringLiteral("COMn, tcp://HOST:PORT, rfc2217://HOST:PORT"));

    Bevel2 = Place(new QFrame(this), "Bevel2", 16, 56, 241, 193);
    Bevel2->setFrameShape(QFrame::Box);
    Bevel2->setFrameShadow(QFrame::Sunken);
    Label1 = Place(new QLabel(QStringLiteral(" Parameter "), this), "Label1", 32, 50, 60, 13);
    Label1->setAutoFillBackground(true); // sits on the upper edge of Bevel2
    lbl_Baudrate = Place(new QLabel(QStringLiteral("Baudrate"), this), "lbl_Baudrate", 32, 84, 60, 13);
    cbx_baudrate = ParameterBox(this, "cbx_baudrate", 81, true);
    lbl_DataBits = Place(new QLabel(QStringLiteral("DataBits"), this), "lbl_DataBits", 32, 121, 60, 13);
    cbx_DataBits = ParameterBox(this, "cbx_DataBits", 118);
    lbl_Parity = Place(new QLabel(QStringLiteral("Parity"), this), "lbl_Parity", 32, 164, 60, 13);
    cbx_Parity = ParameterBox(this, "cbx_Parity", 161);
    lbl_StopBits = Place(new QLabel(QStringLiteral("StopBits"), this), "lbl_StopBits", 32, 204, 60, 13);
    cbx_StopBits = ParameterBox(this, "cbx_StopBits", 201);

    btn_Save = Place(new QPushButton(QStringLiteral("&Sichern"), this), "btn_Save", 286, 176, 75, 25);
    btn_Save->setDefault(true);
    btn_Cancel = Place(new QPushButton(QStringLiteral("&Abbrechen"), this), "btn_Cancel", 286, 224, 75, 25);
    connect(btn_Save, &QPushButton::clicked, this, &QDialog::accept);
    connect(btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(btn_Cancel, btn_Save);
    setTabOrder(btn_Save, cbx_Com);
    setTabOrder(cbx_Com, cbx_baudrate);
    setTabOrder(cbx_baudrate, cbx_DataBits);
    setTabOrder(cbx_DataBits, cbx_Parity);
    setTabOrder(cbx_Parity, cbx_StopBits);

    // Only the user's changes count: selecting and typing, never the
    // dialog's own settings of the boxes.
    connect(cbx_Com, &QComboBox::activated, this, [this] { Guarded(this, [this] { cbx_ComChange(); }); });
    connect(cbx_Com->lineEdit(), &QLineEdit::textEdited, this,
            [this] { Guarded(this, [this] { cbx_ComChange(); }); });
    connect(cbx_baudrate, &QComboBox::activated, this, [this] { Guarded(this, [this] { cbx_baudrateChange(); }); });
    connect(cbx_DataBits, &QComboBox::activated, this, [this] { Guarded(this, [this] { cbx_DataBitsChange(); }); });
    connect(cbx_Parity, &QComboBox::activated, this, [this] { Guarded(this, [this] { cbx_ParityChange(); }); });
    connect(cbx_StopBits, &QComboBox::activated, this, [this] { Guarded(this, [this] { cbx_StopBitsChange(); }); });

    FormCreate();
}

TFComCfg::~TFComCfg() = default;

void TFComCfg::FormCreate()
{
    serialComm_ = std::make_unique<TSerComm>(std::make_shared<TSerQtHandOff>());
    cbx_baudrate->addItems(CommaText("600, 1200, 2400, 4800, 9600, 19200, 38400, 57600"));
    cbx_baudrate->setCurrentIndex(-1);
    cbx_DataBits->addItems(CommaText("7, 8"));
    cbx_Parity->addItems(CommaText("None, Even, Odd"));
    cbx_StopBits->addItems(CommaText("1, 2"));
    SetPortBaudrate(br2400);
    SetPortParity(paNone);
    SetPortDatabits(db8);
    SetPortStopbits(sb1);
    ReadSettings();
}

void TFComCfg::ReadSettings()
{
    const TIniFile ini(IniFileName);
    serialComm_->SetDeviceName(ini.ReadString(Section, "ComPort", "COM1"));
    ini.ReadString(Section, "Baudrate", "2400"); // read, not used: the rate is the detector's
    serialComm_->SetBaudrate(brUser);
    serialComm_->SetUserBaudrate(35710);
    // A stored value that matches no entry leaves the box without a
    // selection and the component at its own value.
    if (const int i = SelectIgnoringCase(cbx_DataBits, ini.ReadString(Section, "Databits", "8")); i >= 0)
        serialComm_->SetDatabits(DataBitsMap[static_cast<std::size_t>(i)]);
    if (const int i = SelectIgnoringCase(cbx_Parity, ini.ReadString(Section, "Parity", "None")); i >= 0)
        serialComm_->SetParity(ParityMap[static_cast<std::size_t>(i)]);
    if (const int i = SelectIgnoringCase(cbx_StopBits, ini.ReadString(Section, "Stopbits", "1")); i >= 0)
        serialComm_->SetStopbits(StopBitsMap[static_cast<std::size_t>(i)]);
}

void TFComCfg::WriteSettings()
{
    TIniFile ini(IniFileName);
    ini.WriteString(Section, "ComPort", portName_);
    ini.WriteString(Section, "Baudrate", SelectedText(cbx_baudrate));
    ini.WriteString(Section, "Databits", SelectedText(cbx_DataBits));
    ini.WriteString(Section, "Parity", SelectedText(cbx_Parity));
    ini.WriteString(Section, "Stopbits", SelectedText(cbx_StopBits));
}

void TFComCfg::LoadFromComm()
{
    SetPortName(serialComm_->DeviceName());
    SetPortBaudrate(serialComm_->Baudrate());
    SetPortParity(serialComm_->Parity());
    SetPortDatabits(serialComm_->Databits());
    SetPortStopbits(serialComm_->Stopbits());
}

void TFComCfg::ApplyToComm()
{
    serialComm_->SetDeviceName(portName_);
    serialComm_->SetBaudrate(portBaudrate_);
    serialComm_->SetParity(portParity_);
    serialComm_->SetDatabits(portDatabits_);
    serialComm_->SetStopbits(portStopbits_);
    WriteSettings();
}

std::string TFComCfg::SettingsText() const
{
    return SelectedText(cbx_baudrate) + " " + SelectedText(cbx_DataBits) + " " + SelectedText(cbx_Parity) + " " +
           SelectedText(cbx_StopBits);
}

void TFComCfg::FillComPorts()
{
    const QString shown = cbx_Com->currentText();
    cbx_Com->clear();
    std::vector<std::string> ports;
    std::exception_ptr failure;
    try {
        ports = listPorts_();
    } catch (...) {
        failure = std::current_exception();
    }
    for (const std::string &p : ports)
        cbx_Com->addItem(MessageText(p));
    cbx_Com->setCurrentIndex(-1);
    cbx_Com->setEditText(shown);
    if (cbx_Com->count() == 0) {
        QMessageBox::warning(this, QStringLiteral("Warnung"),
                             QStringLiteral("Schnittstellen konnten nicht ermittelt werden \n\r"
                                            "Es stehen nur COM1 und COM2 zur Auswahl"));
        cbx_Com->addItems({QStringLiteral("COM1"), QStringLiteral("COM2")});
        cbx_Com->setCurrentIndex(-1);
        cbx_Com->setEditText(shown);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TFComCfg::FormActivate()
{
    FillComPorts();
    // The last entry that equals the port name exactly (letter case counts).
    const QString wanted = MessageText(portName_);
    int found = -1;
    for (int i = 0; i < cbx_Com->count(); ++i)
        if (cbx_Com->itemText(i) == wanted)
            found = i;
    if (found >= 0)
        cbx_Com->setCurrentIndex(found);
    else
        cbx_Com->setEditText(wanted); // show the port that is in use, not a stale text
    cbx_baudrate->setCurrentIndex(-1);
    cbx_baudrate->setEditText(QStringLiteral("glowKite"));
    SelectMapping(cbx_DataBits, DataBitsMap, portDatabits_);
    SelectMapping(cbx_Parity, ParityMap, portParity_);
    SelectMapping(cbx_StopBits, StopBitsMap, portStopbits_);
    ShowLineHint({cbx_baudrate, cbx_DataBits, cbx_Parity, cbx_StopBits}, portName_);
}

void TFComCfg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Guarded(this, [this] { FormActivate(); });
}

void TFComCfg::cbx_ComChange()
{
    // Port names are device paths: kept as the system's (UTF-8) bytes.
    SetPortName(cbx_Com->currentText().toStdString());
    ShowLineHint({cbx_baudrate, cbx_DataBits, cbx_Parity, cbx_StopBits}, portName_);
}

void TFComCfg::cbx_baudrateChange()
{
    SetPortBaudrate(brUser);
    serialComm_->SetUserBaudrate(35710);
}

void TFComCfg::cbx_DataBitsChange()
{
    if (const int i = cbx_DataBits->currentIndex(); i >= 0)
        SetPortDatabits(DataBitsMap[static_cast<std::size_t>(i)]);
}

void TFComCfg::cbx_ParityChange()
{
    if (const int i = cbx_Parity->currentIndex(); i >= 0)
        SetPortParity(ParityMap[static_cast<std::size_t>(i)]);
}

void TFComCfg::cbx_StopBitsChange()
{
    if (const int i = cbx_StopBits->currentIndex(); i >= 0)
        SetPortStopbits(StopBitsMap[static_cast<std::size_t>(i)]);
}

} // namespace glowkite
