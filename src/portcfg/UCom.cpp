#include "portcfg/UCom.h"

#include "gui/Cp1252.h"
#include "gui/GuiSupport.h"
#include "portcfg/PortList.h"
#include "serial/SerComm.h"
#include "serial/qt/SerQtHandOff.h"
#include "settings/IniFile.h"

#include <QComboBox>
#include <QBoxLayout>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <utility>

namespace glowkite {

namespace {

const char *const Section = "Interface";

// The list positions of the parameter boxes and the component values they
// stand for. "Even" comes before "Odd" here, unlike in TSerParity.
constexpr std::array<TSerDatabits, 2> DataBitsMap{db7, db8};
constexpr std::array<TSerParity, 3> ParityMap{paNone, paEven, paOdd};
constexpr std::array<TSerStopbits, 2> StopBitsMap{sb1, sb2};

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

QComboBox *ParameterBox(QWidget *parent, const char *name, bool editable = false)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setMinimumWidth(145);
    box->setEditable(editable);
    box->setEnabled(false); // the line settings are the detector's; nothing enables them
    return box;
}

} // namespace

TFComCfg::TFComCfg(const std::string &iniFileName, QWidget *parent,
                   std::function<std::vector<TSerialPortInfo>()> listPorts)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                          Qt::WindowTitleHint),
      IniFileName(iniFileName), listPorts_(listPorts ? std::move(listPorts) : [] { return ListSerialPortInfos(); })
{
    setObjectName(QStringLiteral("FComCfg"));
    setWindowTitle(QStringLiteral("glowKite Schnittstellen Parameter"));
    setFont(UiFont(8));
    // Laid out from the font present: the designed 60 x 13 label boxes cut
    // "Schnittstelle" in any font wider than Tahoma.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    lbl_Com = new QLabel(QStringLiteral("Schnittstelle"), Bevel1);
    lbl_Com->setObjectName(QStringLiteral("lbl_Com"));
    cbx_Com = new QComboBox(Bevel1);
    cbx_Com->setObjectName(QStringLiteral("cbx_Com"));
    cbx_Com->setEditable(true);
    cbx_Com->setInsertPolicy(QComboBox::NoInsert);
    cbx_Com->setEditText(QStringLiteral("cbx_Com"));
    // Room for a device path with what is behind it ("/dev/ttyUSB0 (FTDI
    // FT232R USB UART)"); longer names show whole in the open list.
    cbx_Com->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbx_Com->setMinimumContentsLength(36);

    Bevel2 = new QFrame(this);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setFrameShape(QFrame::Box);
    Bevel2->setFrameShadow(QFrame::Sunken);
    Label1 = new QLabel(QStringLiteral(" Parameter "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAutoFillBackground(true); // sits on the upper edge of Bevel2
    auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, Bevel2);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    lbl_Baudrate = label("lbl_Baudrate", QStringLiteral("Baudrate"));
    cbx_baudrate = ParameterBox(Bevel2, "cbx_baudrate", true);
    lbl_DataBits = label("lbl_DataBits", QStringLiteral("DataBits"));
    cbx_DataBits = ParameterBox(Bevel2, "cbx_DataBits");
    lbl_Parity = label("lbl_Parity", QStringLiteral("Parity"));
    cbx_Parity = ParameterBox(Bevel2, "cbx_Parity");
    lbl_StopBits = label("lbl_StopBits", QStringLiteral("StopBits"));
    cbx_StopBits = ParameterBox(Bevel2, "cbx_StopBits");

    btn_Save = new QPushButton(QStringLiteral("&Sichern"), this);
    btn_Save->setObjectName(QStringLiteral("btn_Save"));
    btn_Save->setDefault(true);
    btn_Cancel = new QPushButton(QStringLiteral("&Abbrechen"), this);
    btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));
    for (QPushButton *b : {btn_Save, btn_Cancel})
        b->setMinimumSize(75, 25);

    // Both frames share one label column, so the boxes line up.
    const int labelWidth = std::max({lbl_Com->sizeHint().width(), lbl_Baudrate->sizeHint().width(),
                                     lbl_DataBits->sizeHint().width(), lbl_Parity->sizeHint().width(),
                                     lbl_StopBits->sizeHint().width()});
    auto *portRow = new QGridLayout(Bevel1);
    portRow->setContentsMargins(15, 6, 15, 6);
    portRow->setHorizontalSpacing(8);
    portRow->setColumnMinimumWidth(0, labelWidth);
    portRow->setColumnStretch(1, 1);
    portRow->addWidget(lbl_Com, 0, 0);
    portRow->addWidget(cbx_Com, 0, 1);
    auto *parameters = new QGridLayout(Bevel2);
    parameters->setContentsMargins(15, Label1->sizeHint().height() + 8, 15, 12);
    parameters->setHorizontalSpacing(8);
    parameters->setVerticalSpacing(14);
    parameters->setColumnMinimumWidth(0, labelWidth);
    parameters->setColumnStretch(1, 1);
    int row = 0;
    for (auto [l, box] : {std::pair{lbl_Baudrate, cbx_baudrate}, std::pair{lbl_DataBits, cbx_DataBits},
                          std::pair{lbl_Parity, cbx_Parity}, std::pair{lbl_StopBits, cbx_StopBits}}) {
        parameters->addWidget(l, row, 0);
        parameters->addWidget(box, row++, 1);
    }
    auto *frames = new QVBoxLayout;
    frames->setSpacing(std::max(15, Label1->sizeHint().height()));
    frames->addWidget(Bevel1);
    frames->addWidget(Bevel2);
    auto *buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_Save);
    buttons->addSpacing(23);
    buttons->addWidget(btn_Cancel);
    auto *form = new QHBoxLayout(this);
    form->setContentsMargins(16, 8, 16, 17);
    form->setSpacing(29);
    form->addLayout(frames);
    form->addLayout(buttons);
    // A fixed dialog border, at least the designed client area of 377 x 266.
    setFixedSize(form->sizeHint().expandedTo(QSize(377, 266)));

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
    // A first start (no port stored) takes the first USB adapter: the first
    // on-board port, COM1, is often the machine's console.
    const char *const unset = "\x01";
    std::string port = ini.ReadString(Section, "ComPort", unset);
    if (port == unset) {
        port = "COM1";
        try {
            port = FirstStartPort(listPorts_(), port);
        } catch (const std::exception &) {
            // No list of ports: the dialog says so when it is shown.
        }
    }
    serialComm_->SetDeviceName(port);
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
    std::vector<TSerialPortInfo> ports;
    std::exception_ptr failure;
    try {
        ports = listPorts_();
    } catch (...) {
        failure = std::current_exception();
    }
    // Each entry names what is behind the device; PortFromDisplayName maps it back.
    for (const TSerialPortInfo &p : ports)
        cbx_Com->addItem(MessageText(PortDisplayName(p)));
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
        if (QString::fromStdString(PortFromDisplayName(cbx_Com->itemText(i).toStdString())) == wanted)
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
}

void TFComCfg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    // " Parameter " sits on the upper edge of Bevel2.
    Label1->adjustSize();
    Label1->move(Bevel2->x() + 16, Bevel2->y() - Label1->height() / 2);
    Label1->raise();
}

void TFComCfg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Guarded(this, [this] { FormActivate(); });
}

void TFComCfg::cbx_ComChange()
{
    // Port names are device paths: kept as the system's (UTF-8) bytes.
    SetPortName(PortFromDisplayName(cbx_Com->currentText().toStdString()));
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
