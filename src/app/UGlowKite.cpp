#include "app/UGlowKite.h"

#include "about/About.h"
#include "app/StartOptions.h"
#include "app/core/Export.h"

#include "app/ui/ChartAdapter.h"
#include "gui/Cp1252.h"
#include "gui/GuiSupport.h"
#include "gui/StopSignals.h"
#include "gui/WindowPlacement.h"
#include "app/ui/KeyPreview.h"
#include "app/ui/TextLinesModel.h"
#include "logging/UProgres.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttWatcher.h"
#include "mqtt/WatchFeed.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "settings/IniFile.h"
#include "settings/UOption.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QHBoxLayout>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QTimer>

#include <fstream>
#include <stdexcept>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>

namespace glowkite {

namespace {

constexpr int HeadingPointSize = 10;

// A label measured again only when its text's length changes: the count
// changes ten times a second while recording, and measuring each new text
// would cost more than showing it. The digits of a count are all about as
// wide.
class TSteadyLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return minimumSizeHint(); }
    QSize minimumSizeHint() const override
    {
        if (!hint_.isValid() || font() != hintFont_ || text().size() != hintLength_) {
            hintFont_ = font();
            hintLength_ = text().size();
            hint_ = QLabel::minimumSizeHint();
        }
        return hint_;
    }

private:
    mutable QSize hint_;
    mutable QFont hintFont_;
    mutable qsizetype hintLength_ = -1;
};

QLabel *Heading(const QString &text, const char *name, QWidget *parent, bool steady = false)
{
    QLabel *label = steady ? new TSteadyLabel(text, parent) : new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(UiFont(HeadingPointSize, true));
    return label;
}

} // namespace

TForm_GlowKite::TForm_GlowKite(const ProgramPaths &paths, QWidget *parent)
    : QMainWindow(parent), session_(*this, *this, *this), StatusLog(session_.StatusLog), DataLog(session_.DataLog),
      paths_(paths),
      warningNotice_(this, TNoticeBox::Warning), errorNotice_(this, TNoticeBox::Error)
{
    setObjectName(QStringLiteral("Form_GlowKite"));
    setWindowTitle(QStringLiteral("GlowKite Protokoll"));
    setFont(UiFont(8));
    resize(678, 619);
    countTimer_ = new QTimer(this);
    countTimer_->setSingleShot(true);
    countTimer_->setInterval(TTextLinesModel::PublishIntervalMs);
    connect(countTimer_, &QTimer::timeout, this, [this] {
        lblWerteAnz_->setToolTip(StoredCountText());
        if (lblWerteAnz_->text() != pendingCount_) {
            lblWerteAnz_->setText(pendingCount_);
            countTimer_->start();
        }
    });
    NotifyDesktop = ShowDesktopNotification;
    healthTimer_ = new QTimer(this);
    healthTimer_->setInterval(250);
    connect(healthTimer_, &QTimer::timeout, this, [this] {
        const TSerLineErrors line = dialogs_.FComCfg ? dialogs_.FComCfg->SerialComm().LineErrors() : TSerLineErrors{};
        health_.Update(session_.Receiver.Counters(), line);
        ShowLineFigures();
    });
    BuildMenu();
    BuildLayout();
    BuildStatusBar();
    FormCreate();
}

TForm_GlowKite::~TForm_GlowKite()
{
    // Its thread calls into the window: it goes first.
    mqttWatcher_.reset();
}

void TForm_GlowKite::PublishToMqtt(const std::string &url)
{
    auto publisher = std::make_unique<TMqttPublisher>(ParseMqttUrl(url));
    mqttPublisher_ = publisher.get();
    session_.PublishTo(std::move(publisher));
    if (!mqttTimer_) {
        mqttTimer_ = new QTimer(this);
        mqttTimer_->setInterval(500);
        connect(mqttTimer_, &QTimer::timeout, this, [this] { ShowMqtt(); });
        mqttTimer_->start();
    }
}

void TForm_GlowKite::WatchMqtt(const std::string &url)
{
    const TMqttUrl address = ParseMqttUrl(url);
    // Watching, not recording: no status log lines, no local port.
    session_.Decoder.LogStatusChanges = false;
    if (TRecording *recording = session_.Recording(); recording && recording->State() != TRecordingState::Stopped)
        recording->Stop();
    act_Start_->setEnabled(false);
    act_Stopp_->setEnabled(false);
    act_Port_->setEnabled(false);
    watchFeed_ = std::make_unique<TWatchFeed>(session_.Decoder, *this);
    mqttWatcher_ = std::make_unique<TMqttWatcher>(address, [this] {
        QMetaObject::invokeMethod(this, [this] { Guarded(this, [this] { TakeWatchedLines(); }); },
                                  Qt::QueuedConnection);
    });
    SetPanelText(0, QStringLiteral("getrennt"));
    SetPanelText(1, QString::fromStdString(address.topic));
    panels_[1]->setToolTip(QString::fromStdString(address.Text()));
    if (!mqttTimer_) {
        mqttTimer_ = new QTimer(this);
        mqttTimer_->setInterval(500);
        connect(mqttTimer_, &QTimer::timeout, this, [this] { ShowMqtt(); });
        mqttTimer_->start();
    }
}

void TForm_GlowKite::TakeWatchedLines()
{
    if (!mqttWatcher_)
        return;
    for (const std::string &line : mqttWatcher_->TakeLines()) {
        std::string error;
        if (!watchFeed_->Feed(line, error) && error != lastWatchError_) {
            // Once per kind of bad line, not once per message.
            lastWatchError_ = error;
            AppendStatusLine(DateTimeText(SystemClock()) + "  MQTT: Zeile nicht lesbar: " + error);
        }
    }
    ShowMqtt();
}

void TForm_GlowKite::ShowMqtt()
{
    if (mqttPublisher_) {
        for (const std::string &note : mqttPublisher_->TakeNotes())
            AppendStatusLine(note);
        panels_[0]->setToolTip(QStringLiteral("MQTT %1: %2, %3 Meldungen gesendet, %4 verworfen")
                                   .arg(QString::fromStdString(mqttPublisher_->Url().Text()),
                                        mqttPublisher_->Connected() ? QStringLiteral("verbunden")
                                                                    : QStringLiteral("getrennt"))
                                   .arg(mqttPublisher_->MessagesSent())
                                   .arg(mqttPublisher_->MessagesLost()));
    }
    if (mqttWatcher_) {
        for (const std::string &note : mqttWatcher_->TakeNotes())
            AppendStatusLine(note);
        const std::string state = mqttWatcher_->Connected() ? mqttWatcher_->RemoteState() : "getrennt";
        SetPanelText(0, QString::fromStdString(state.empty() ? "getrennt" : state));
    }
}

template <class Sender, class Signal>
void TForm_GlowKite::Connect(Sender *sender, Signal signal, void (TForm_GlowKite::*handler)())
{
    connect(sender, signal, this, [this, handler] { Guarded(this, [this, handler] { (this->*handler)(); }); });
}

void TForm_GlowKite::BuildMenu()
{
    auto action = [this](const char *name, const QString &caption, void (TForm_GlowKite::*handler)()) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        Connect(a, &QAction::triggered, handler);
        return a;
    };
    act_SaveChart_ =
        action("act_SaveChart", QStringLiteral("Diagramm speichern..."), &TForm_GlowKite::act_SaveChartExecute);
    act_ExportData_ =
        action("act_ExportData", QStringLiteral("Daten exportieren..."), &TForm_GlowKite::act_ExportDataExecute);
    act_Exit_ = action("act_Exit", QStringLiteral("&Beenden"), &TForm_GlowKite::act_ExitExecute);
    act_Option_ = action("act_Option", QStringLiteral("&Optionen"), &TForm_GlowKite::act_OptionExecute);
    act_Start_ = action("act_Start", QStringLiteral("&Start"), &TForm_GlowKite::act_StartExecute);
    act_Stopp_ = action("act_Stopp", QStringLiteral("S&topp"), &TForm_GlowKite::act_StoppExecute);
    act_Port_ = action("act_Port", QStringLiteral("Sch&nittstelle"), &TForm_GlowKite::act_PortExecute);
    act_About_ = action("act_About", QStringLiteral("&Info"), &TForm_GlowKite::act_AboutExecute);

    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("&Datei"));
    file->addAction(act_SaveChart_);
    file->addAction(act_ExportData_);
    file->addSeparator();
    file->addAction(act_Exit_);
    bar->addMenu(QStringLiteral("&Projekt"))->addAction(act_Option_);
    QMenu *start = bar->addMenu(QStringLiteral("&Start"));
    start->addAction(act_Start_);
    start->addAction(act_Stopp_);
    start->addSeparator();
    start->addAction(act_Port_);
    bar->addMenu(QStringLiteral("&Hilfe"))->addAction(act_About_);
}

void TForm_GlowKite::BuildLayout()
{
    chartSplitter_ = new QSplitter(Qt::Vertical, this);
    chartSplitter_->setObjectName(QStringLiteral("Splitter_Chart"));
    chartSplitter_->setHandleWidth(3);
    chartSplitter_->setChildrenCollapsible(false);
    setCentralWidget(chartSplitter_);

    chart_ = std::make_unique<TChartAdapter>(chartSplitter_);
    QWidget *chart = chart_->Widget();
    chartSplitter_->addWidget(chart);

    // The protocol in force, inside the chart at its top left.
    auto *protocolBox = new QWidget(chart);
    auto *protocolRow = new QHBoxLayout(protocolBox);
    protocolRow->setContentsMargins(8, 4, 0, 0);
    auto *protocolCaption = new QLabel(QStringLiteral("Protokoll:"), protocolBox);
    protocolCaption->setObjectName(QStringLiteral("lbl_ProtocolCaption"));
    lblProtocol_ = new QLabel(protocolBox);
    lblProtocol_->setObjectName(QStringLiteral("lbl_protocol"));
    QFont bold = font();
    bold.setBold(true);
    lblProtocol_->setFont(bold);
    QPalette hotLight = lblProtocol_->palette();
    hotLight.setColor(QPalette::WindowText, hotLight.color(QPalette::Link));
    lblProtocol_->setPalette(hotLight);
    lblProtocol_->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(QString::fromLatin1(TProtocol::GlowkitePlus().Name())));
    protocolRow->addWidget(protocolCaption);
    protocolRow->addWidget(lblProtocol_);
    protocolBox->adjustSize();

    paneSplitter_ = new QSplitter(Qt::Horizontal, chartSplitter_);
    paneSplitter_->setObjectName(QStringLiteral("Splitter_Panes"));
    paneSplitter_->setHandleWidth(3);
    paneSplitter_->setChildrenCollapsible(false);
    chartSplitter_->addWidget(paneSplitter_);
    // The chart takes the room when the window grows; the panes keep theirs.
    chartSplitter_->setStretchFactor(0, 1);
    chartSplitter_->setStretchFactor(1, 0);

    // Laid out from the fonts present: the calendar shows every day of the
    // month, and the lower area never gets less than that.
    pnlControl_ = new QWidget(paneSplitter_);
    pnlControl_->setObjectName(QStringLiteral("pnl_Control"));
    auto *controlColumn = new QVBoxLayout(pnlControl_);
    controlColumn->setContentsMargins(8, 8, 8, 4);
    controlColumn->setSpacing(8);
    btnClear_ = new QPushButton(QStringLiteral("Graph l\u00f6schen"), pnlControl_);
    btnClear_->setObjectName(QStringLiteral("btn_Clear"));
    Connect(btnClear_, &QPushButton::clicked, &TForm_GlowKite::btn_ClearClick);
    monthCalendar_ = new QCalendarWidget(pnlControl_);
    monthCalendar_->setObjectName(QStringLiteral("MonthCalendar"));
    monthCalendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    // The user interface is German, whatever the system's language.
    monthCalendar_->setLocale(QLocale(QLocale::German, QLocale::Germany));
    monthCalendar_->setFirstDayOfWeek(Qt::Monday);
    monthCalendar_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    controlColumn->addWidget(btnClear_);
    controlColumn->addWidget(monthCalendar_);
    controlColumn->addStretch(1);
    panel1_ = new QWidget(paneSplitter_);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    auto *statusColumn = new QVBoxLayout(panel1_);
    statusColumn->setContentsMargins(0, 0, 0, 0);
    statusColumn->setSpacing(2);
    statusColumn->addWidget(Heading(QStringLiteral("   Verlauf"), "lbl_Verlauf", panel1_));
    memStatus_ = new TTextPane(panel1_);
    memStatus_->setObjectName(QStringLiteral("mem_Status"));
    statusColumn->addWidget(memStatus_, 1);

    pnlData_ = new QWidget(paneSplitter_);
    pnlData_->setObjectName(QStringLiteral("pnl_Data"));
    auto *dataColumn = new QVBoxLayout(pnlData_);
    dataColumn->setContentsMargins(0, 0, 0, 0);
    dataColumn->setSpacing(2);
    lblWerteAnz_ = Heading(QStringLiteral("  Anzahl der Messwerte: 0"), "lbl_WerteAnz", pnlData_, true);
    dataColumn->addWidget(lblWerteAnz_);
    memHex_ = new TTextPane(pnlData_);
    memHex_->setObjectName(QStringLiteral("mem_HEX"));
    dataColumn->addWidget(memHex_, 1);

    paneSplitter_->addWidget(pnlControl_);
    paneSplitter_->addWidget(panel1_);
    paneSplitter_->addWidget(pnlData_);
    paneSplitter_->setStretchFactor(0, 0);
    paneSplitter_->setStretchFactor(1, 0);
    paneSplitter_->setStretchFactor(2, 1);
    ApplySplitterSizes();
}

void TForm_GlowKite::BuildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    static constexpr std::array<int, 6> widths{70, 50, 70, 50, 50, 50};
    const std::array<QString, 6> texts{QStringLiteral("getrennt"), QStringLiteral("COM1"),
                                       QStringLiteral("glowKite"), QStringLiteral("Status"), QString(),
                                       QString()};
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto *panel = new QLabel(texts[i], bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // Fixed in both directions: a new text then repaints the panel
        // without laying out the status bar again (several times a second).
        panel->setFixedSize(widths[i], panel->sizeHint().height());
        bar->addWidget(panel);
        panels_[i] = panel;
    }
    panels_[4]->setToolTip(QStringLiteral("Rahmen pro Sekunde \u00fcber die letzten %1 s")
                               .arg(TLiveHealth::RateWindow.count()));
    panels_[5]->setToolTip(QStringLiteral("Leitungsprobleme seit Start: au\u00dferhalb von Rahmen verworfene Bytes / "
                                          "vom Treiber gemeldete Leitungsfehler"));
}

namespace {
// A count for a narrow panel: exact up to 9999, then in thousands.
QString Compact(std::uint64_t n)
{
    return n < 10000 ? QString::number(n) : QStringLiteral("%1k").arg(n / 1000);
}
} // namespace

void TForm_GlowKite::ShowLineFigures()
{
    const TLineFigures &f = health_.Figures();
    SetPanelText(4, QStringLiteral("%1/s").arg(static_cast<long long>(std::llround(f.framesPerSecond))));
    const TSerLineErrors &e = f.lineErrors;
    const auto dropped = static_cast<std::uint64_t>(std::max<std::int64_t>(0, f.droppedBytes));
    SetPanelText(5, Compact(dropped) + QStringLiteral(" / ") + (e.Counted ? Compact(e.Total()) : QStringLiteral("-")));
    const QString errors =
        e.Counted ? QStringLiteral("%1 Leitungsfehler des Treibers (Rahmen %2, Parit\u00e4t %3, \u00dcberlauf %4, Break %5)")
                        .arg(e.Total())
                        .arg(e.Framing)
                        .arg(e.Parity)
                        .arg(e.Overrun)
                        .arg(e.Break)
                  : QStringLiteral("Leitungsfehler: vom Treiber nicht gemeldet (z. B. Pseudo-Terminal)");
    panels_[5]->setToolTip(QStringLiteral("Seit Start: %1 Bytes au\u00dferhalb von Rahmen verworfen; ").arg(dropped) +
                           errors);
}

void TForm_GlowKite::ShowLiveStatus(int flags)
{
    liveFlags_ = flags;
    // "Alarm ;Störung ;Latch mode " in short: "Alarm, Störung, Latch mode".
    const QString words = FromCp1252(StatusWords(static_cast<std::uint8_t>(flags)).words);
    QStringList parts;
    for (const QString &w : words.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!w.trimmed().isEmpty())
            parts << w.trimmed();
    QLabel *panel = panels_[3];
    panel->setText(parts.join(QStringLiteral(", ")));
    panel->setToolTip(words.trimmed());
    const char *colour = (flags & 0x01) ? "red" : (flags & 0x02) ? "darkorange" : nullptr;
    panel->setStyleSheet(colour ? QStringLiteral("QLabel { color: white; background-color: %1; }").arg(QLatin1String(colour))
                                : QString());
}

void TForm_GlowKite::SilenceBegan(int timeout)
{
    // Never "verbunden" while nothing arrives.
    SetPanelText(0, QStringLiteral("keine Daten"));
    session_.SilenceChanged(true); // the broker's retained state says so too
    const std::string line = SilenceBeganLine(DateTimeText(SystemClock()), timeout);
    AppendStatusLine(line);
    warningNotice_.Show(MessageText(line), TNoticeBox::Warning);
}

void TForm_GlowKite::SilenceEnded(double seconds)
{
    SetPanelText(0, QStringLiteral("verbunden"));
    session_.SilenceChanged(false);
    const std::string line = SilenceEndedLine(DateTimeText(SystemClock()), seconds);
    AppendStatusLine(line);
    // The notice, if still open, says so instead of a second box.
    if (warningNotice_.IsVisible())
        warningNotice_.Show(MessageText(line), TNoticeBox::Information);
}

void TForm_GlowKite::FormCreate()
{
    session_.Decoder.LastStatus = 255;
    session_.Decoder.AllData2Chart = true;
    session_.Decoder.GlowkiteVersion = false;

    session_.SetLogDir(paths_.LogDir);
    // A lock taken beside the log instead of in its own folder is told once
    // in the window, not on a console nobody reads.
    for (TLogFile *log : {&session_.StatusLog, &session_.DataLog})
        log->Notice = [this](const std::string &text) { LogError(text); };

    monthCalendar_->setSelectedDate(QDate::currentDate());
    ConnectNavigationAndReplay();
    UpdateBoldDays();

    session_.Decoder.xPosActive = false;
    session_.Decoder.yPosActive = false;
    session_.Decoder.Gain = false;
    session_.Decoder.Intervall = 60;

    ReadIni();

    session_.Receiver.CurrentDay = DateTimeText(SystemClock()).substr(0, 10);

    ClearData();
    UpDateGraph();
    ShowProtocol();
}

void TForm_GlowKite::ShowProtocol()
{
    lblProtocol_->setText(QString::fromLatin1(replayedProtocol_.value_or(session_.Decoder.Protocol()).Name()));
}

void TForm_GlowKite::ProtocolSwitched(std::string_view message)
{
    // Reception goes on while the warning is open; a later switch updates it.
    warningNotice_.Show(MessageText(message));
}

void TForm_GlowKite::FrameFailed(std::string_view message)
{
    AppendStatusLine(DateTimeText(SystemClock()) + "  Speichern fehlgeschlagen: " + std::string(message));
    errorNotice_.Show(MessageText(message));
}

void TForm_GlowKite::FramesResumed(std::int64_t dropped)
{
    const std::string text =
        "Speichern wieder m\xF6glich, " + std::to_string(dropped) + " Messwerte nicht gespeichert";
    AppendStatusLine(DateTimeText(SystemClock()) + "  " + text);
    // A box that still says "Cannot open" would tell of a fault that is over.
    if (errorNotice_.IsVisible())
        errorNotice_.Show(MessageText(text));
}

void TForm_GlowKite::StatusLogFailed(std::string_view file, std::string_view message)
{
    // The frames are in the day file and the chart: only the status log failed.
    LogError("Statusprotokoll " + std::string(file) + " nicht geschrieben: " + std::string(message));
}

void TForm_GlowKite::StatusLogResumed(std::int64_t lost)
{
    const std::string text = "Statusprotokoll wieder geschrieben, " + std::to_string(lost) +
                             " Statuszeilen fehlen darin";
    AppendStatusLine(DateTimeText(SystemClock()) + "  " + text);
    if (errorNotice_.IsVisible())
        errorNotice_.Show(MessageText(text));
}

void TForm_GlowKite::LogError(const std::string &text)
{
    AppendStatusLine(DateTimeText(SystemClock()) + "  " + text);
    errorNotice_.Show(MessageText(text));
}

void TForm_GlowKite::ClearData()
{
    session_.Decoder.ClearData();
    if (replayedProtocol_) {
        replayedProtocol_.reset();
        ShowProtocol();
    }
}

void TForm_GlowKite::UpDateGraph()
{
    session_.Decoder.UpDateGraph();
}

QString TForm_GlowKite::PanelText(int panel) const
{
    return panels_.at(static_cast<std::size_t>(panel))->text();
}

void TForm_GlowKite::SetPanelText(int panel, const QString &text)
{
    panels_.at(static_cast<std::size_t>(panel))->setText(text);
}

int TForm_GlowKite::ChartHeight() const
{
    return shown_ ? chart_->Widget()->height() : chartHeight_;
}

int TForm_GlowKite::Panel1Width() const
{
    return shown_ ? panel1_->width() : panel1Width_;
}

void TForm_GlowKite::ApplyWindowBounds(const QRect &outer)
{
    // The stored size is the outer one (frame included), but resize() sets
    // the client area; the frame is known only once the window manager has
    // framed the window, so FitFrame applies the bounds once more then.
    outerBounds_ = outer;
    const QSize frameExtra = frameGeometry().size() - size();
    move(outer.topLeft());
    resize((outer.size() - frameExtra).expandedTo(QSize(1, 1)));
}

void TForm_GlowKite::FitFrame()
{
    if (frameSettled_)
        return;
    const QSize frameExtra = frameGeometry().size() - size();
    if (frameExtra.isEmpty() && ++framePolls_ < FramePollLimit)
        return; // not framed yet
    frameSettled_ = true;
    if (frameTimer_)
        frameTimer_->stop();
    if (!frameExtra.isEmpty() && !isMaximized() && !isFullScreen()) {
        ApplyWindowBounds(outerBounds_);
        // The client area shrank by the frame: the chart and the status pane
        // get their stored sizes again instead of giving up that room.
        if (layout())
            layout()->activate();
        ApplySplitterSizes();
    }
}

QRect TForm_GlowKite::FitStoredBounds(const TStoredBounds &stored) const
{
    std::vector<QRect> screens;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        screens.push_back(primary->availableGeometry());
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens.push_back(screen->availableGeometry());
    return FitToScreens(stored, screens, minimumSizeHint());
}

void TForm_GlowKite::ApplySplitterSizes()
{
    // Stored sizes of any value are fitted to the room, and every pane keeps
    // what its controls need to be whole.
    const auto least = [](const QWidget *w) { return w->minimumSizeHint().expandedTo(w->minimumSize()); };
    const int handle = chartSplitter_->handleWidth();
    chartSplitter_->setSizes(FitSplitterSizes(chartSplitter_->height(), handle, {chartHeight_},
                                              {least(chart_->Widget()).height(), least(paneSplitter_).height()}));
    const int control = pnlControl_->isVisible() && shown_ ? pnlControl_->width() : 225;
    paneSplitter_->setSizes(
        FitSplitterSizes(paneSplitter_->width(), handle, {control, panel1Width_},
                         {least(pnlControl_).width(), least(panel1_).width(), least(pnlData_).width()}));
}

void TForm_GlowKite::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    // Only an X11 window manager adds a frame after the window is shown; other
    // platforms know their frame (or have none) by now.
    frameSettled_ = QGuiApplication::platformName() != QLatin1String("xcb");
    if (!frameSettled_) {
        frameTimer_ = new QTimer(this);
        frameTimer_->setInterval(20);
        connect(frameTimer_, &QTimer::timeout, this, &TForm_GlowKite::FitFrame);
        frameTimer_->start();
    }
    // The splitters know their room only once the window is laid out.
    QTimer::singleShot(0, this, [this] {
        // A platform that knew its frame at showing: the outer bounds now.
        if (frameSettled_ && frameGeometry() != outerBounds_)
            ApplyWindowBounds(outerBounds_);
        ApplySplitterSizes();
        shown_ = true;
    });
}

void TForm_GlowKite::ReadIni()
{
    TIniFile ini(paths_.IniFile);
    TStoredBounds stored;
    stored.Left = ini.ReadInteger("Window", "Main.Left", 0);
    stored.Top = ini.ReadInteger("Window", "Main.Top", 0);
    stored.Width = ini.ReadInteger("Window", "Main.With", 640);
    stored.Height = ini.ReadInteger("Window", "Main.Heigth", 480);
    // Stored bounds that no screen shows, or larger than the screen, would
    // give a window nobody can reach (or, at 2^31 pixels, none at all).
    ApplyWindowBounds(FitStoredBounds(stored));
    chartHeight_ = ini.ReadInteger("Window", "Chart.Heigth", 300);
    panel1Width_ = ini.ReadInteger("Window", "Panel1.With", 230);
    ApplySplitterSizes();
    session_.Decoder.AllData2Chart = ini.ReadBool("Parameter", "AllData2Chart", true);
    session_.Decoder.GlowkiteVersion = ini.ReadBool("Parameter", "GlowkiteVersion", false);
    session_.Decoder.Intervall = ini.ReadInteger("Parameter", "Intervall", 60);
    session_.Decoder.xPosActive = ini.ReadBool("Graph", "xPosActive", false);
    session_.Decoder.yPosActive = ini.ReadBool("Graph", "yPosActive", false);
    session_.Decoder.Gain = ini.ReadBool("Graph", "Gain", false);
    health_.DatenTimeout = ini.ReadInteger("Parameter", "DatenTimeout", DefaultDatenTimeout);
    Desktopmeldung = ini.ReadBool("Parameter", "Desktopmeldung", false);
}

void TForm_GlowKite::WriteIni()
{
    TIniFile ini(paths_.IniFile);
    // Until the window manager has framed the window its frame geometry is
    // the client area: the bounds asked for are then still the true ones.
    const QRect bounds = frameSettled_ ? frameGeometry() : outerBounds_;
    ini.WriteInteger("Window", "Main.Left", bounds.left());
    ini.WriteInteger("Window", "Main.Top", bounds.top());
    ini.WriteInteger("Window", "Main.With", bounds.width());
    ini.WriteInteger("Window", "Main.Heigth", bounds.height());
    ini.WriteInteger("Window", "Chart.Heigth", ChartHeight());
    ini.WriteInteger("Window", "Panel1.With", Panel1Width());
    ini.WriteBool("Parameter", "AllData2Chart", session_.Decoder.AllData2Chart);
    ini.WriteBool("Parameter", "GlowkiteVersion", session_.Decoder.GlowkiteVersion);
    ini.WriteInteger("Parameter", "Intervall", session_.Decoder.Intervall);
    ini.WriteBool("Graph", "xPosActive", session_.Decoder.xPosActive);
    ini.WriteBool("Graph", "yPosActive", session_.Decoder.yPosActive);
    ini.WriteBool("Graph", "Gain", session_.Decoder.Gain);
    ini.WriteInteger("Parameter", "DatenTimeout", health_.DatenTimeout);
    ini.WriteBool("Parameter", "Desktopmeldung", Desktopmeldung);
}

void TForm_GlowKite::closeEvent(QCloseEvent *event)
{
    // As "Beenden" and a request from outside end the program: what has
    // arrived is stored before the port closes.
    if (TRecording *recording = session_.Recording(); recording && recording->State() != TRecordingState::Stopped)
        Guarded(this, [recording] { recording->Stop(); });
    // A settings file that cannot be written is reported; the window still
    // closes, since keeping it open would not make the file writable.
    Guarded(this, [this] { WriteIni(); });
    event->accept();
}

void TForm_GlowKite::act_ExitExecute()
{
    close();
}

void TForm_GlowKite::act_OptionExecute()
{
    TFOption *dlg = dialogs_.FOption;
    if (!dlg)
        throw std::logic_error("options dialog not created");
    dlg->cb_XPos->setChecked(session_.Decoder.xPosActive);
    dlg->cb_YPos->setChecked(session_.Decoder.yPosActive);
    dlg->cb_Gain->setChecked(session_.Decoder.Gain);
    if (const int index = IntervallIndex(session_.Decoder.Intervall); index >= 0)
        dlg->cbx_Intervall->setCurrentIndex(index);
    dlg->cb_DataSelection->setChecked(!session_.Decoder.AllData2Chart);
    dlg->cb_Version->setChecked(session_.Decoder.GlowkiteVersion);
    dlg->sed_DatenTimeout->setValue(EffectiveDatenTimeout(health_.DatenTimeout));
    dlg->cb_Notify->setChecked(Desktopmeldung);
    if (dlg->exec() != QDialog::Accepted)
        return;
    health_.DatenTimeout = dlg->sed_DatenTimeout->value();
    Desktopmeldung = dlg->cb_Notify->isChecked();
    session_.Decoder.AllData2Chart = !dlg->cb_DataSelection->isChecked();
    session_.Decoder.GlowkiteVersion = dlg->cb_Version->isChecked();
    replayedProtocol_.reset(); // the protocol chosen is the one to show
    ShowProtocol();
    session_.Decoder.xPosActive = dlg->cb_XPos->isChecked();
    session_.Decoder.yPosActive = dlg->cb_YPos->isChecked();
    session_.Decoder.Gain = dlg->cb_Gain->isChecked();
    session_.Decoder.Intervall = IntervallItems.at(static_cast<std::size_t>(dlg->cbx_Intervall->currentIndex()));
    UpDateGraph();
}

void TForm_GlowKite::act_AboutExecute()
{
    QDialog *box = dialogs_.AboutBox;
    if (!box)
        throw std::logic_error("about box not created");
    if (auto *about = qobject_cast<TAboutBox *>(box))
        about->SetDataFolder(QString::fromStdString(LogDir()));
    box->exec();
}

namespace {
// The chart's points as the export reads them.
class ChartPoints : public IPointSource {
public:
    explicit ChartPoints(const TChartAdapter &chart) : chart_(chart) {}
    int PointCount(TSeries s) const override { return chart_.Count(s); }
    double PointValue(TSeries s, int i) const override { return chart_.Value(s, i); }
    std::string_view PointLabel(TSeries s, int i) const override { return chart_.Label(s, i); }
    TColor PointColor(TSeries s, int i) const override { return chart_.Color(s, i); }

private:
    const TChartAdapter &chart_;
};

const QString CsvFilter = QStringLiteral("CSV (*.csv)");
const QString CsvExcelFilter = QStringLiteral("CSV f\u00fcr Excel, Semikolon und Dezimalkomma (*.csv)");
} // namespace

void TForm_GlowKite::SaveChart(const QString &fileName)
{
    if (!chart_->SaveImage(fileName))
        throw std::runtime_error("Cannot write " + fileName.toStdString());
}

void TForm_GlowKite::ExportData(const QString &fileName, bool excel)
{
    std::ofstream out(fileName.toStdString(), std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("Cannot create " + fileName.toStdString());
    ExportPointsCsv(ChartPoints(*chart_), out, excel ? CsvExcelGerman : TCsvStyle{});
    out.close();
    if (!out)
        throw std::runtime_error("Cannot write " + fileName.toStdString());
}

void TForm_GlowKite::act_SaveChartExecute()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Diagramm speichern"), QString(),
                                                      QStringLiteral("PNG-Bild (*.png);;PDF-Dokument (*.pdf)"));
    if (!name.isEmpty())
        SaveChart(name);
}

void TForm_GlowKite::act_ExportDataExecute()
{
    QString filter = CsvFilter;
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Daten exportieren"), QString(),
                                                      CsvFilter + QStringLiteral(";;") + CsvExcelFilter, &filter);
    if (!name.isEmpty())
        ExportData(name, filter == CsvExcelFilter);
}

void TForm_GlowKite::SetDialogs(const TDialogs &dialogs)
{
    dialogs_ = dialogs;
    session_.Detach(); // from the old port dialog's component
    if (!dialogs_.FComCfg)
        return;
    TSerComm &comm = dialogs_.FComCfg->SerialComm();
    // Errors raised while the port's events are handled must not wait for a
    // click: reception goes on.
    comm.ExceptionDisplay = [this](std::exception_ptr e) { errorNotice_.Show(MessageText(ExceptionMessage(e))); };
    session_.RecordFrom(comm);
    if (!retryTimer_) {
        retryTimer_ = new QTimer(this);
        retryTimer_->setInterval(250);
        connect(retryTimer_, &QTimer::timeout, this, [this] {
            if (TRecording *recording = session_.Recording())
                Guarded(this, [recording] { recording->Tick(); });
        });
    }
}

void TForm_GlowKite::act_StartExecute()
{
    if (dialogs_.FComCfg)
        UseLogDirFor(dialogs_.FComCfg->SerialComm().DeviceName());
    if (TRecording *recording = session_.Recording()) {
        health_.Start(session_.Receiver.Counters());
        liveFlags_ = -1;
        recording->Start(); // an open failure raises and leaves the state as it was
    }
}

void TForm_GlowKite::SetDemoPort(const std::string &demoPort)
{
    demoPort_ = demoPort;
    if (dialogs_.FComCfg)
        UseLogDirFor(dialogs_.FComCfg->SerialComm().DeviceName());
    // The demo records from the simulator's port, not from the configured
    // one that the panel shows until the port dialog is confirmed.
    if (!demoPort_.empty())
        ShowPortPanel(demoPort_);
}

void TForm_GlowKite::ShowPortPanel(const std::string &device)
{
    const QString name = MessageText(device);
    SetPanelText(1, name);
    panels_[1]->setToolTip(name);
}

void TForm_GlowKite::UseLogDirFor(const std::string &device)
{
    if (demoPort_.empty())
        return;
    const std::string dir = device == demoPort_ ? DemoLogDir(paths_.LogDir) : paths_.LogDir;
    if (dir == LogDir())
        return;
    session_.SetLogDir(dir);
    // The calendar shows the days of the folder now written to.
    markedDay_.clear();
    UpdateBoldDays();
}

void TForm_GlowKite::act_StoppExecute()
{
    if (TRecording *recording = session_.Recording())
        recording->Stop();
    else
        RecordingStateChanged(TRecordingState::Stopped);
}

void TForm_GlowKite::act_PortExecute()
{
    TFComCfg *dialog = dialogs_.FComCfg;
    if (!dialog)
        return;
    // A running recording (or the wait for a lost port) is stopped first and
    // not restarted: the user starts it again.
    if (session_.Recording()->State() != TRecordingState::Stopped)
        act_StoppExecute();
    dialog->LoadFromComm();
    dialog->setWindowTitle(QStringLiteral("Konfiguration glowkite Schnittstelle"));
    if (dialog->exec() != QDialog::Accepted)
        return;
    dialog->ApplyToComm();
    ShowPortPanel(dialog->SerialComm().DeviceName());
    SetPanelText(2, MessageText(dialog->SettingsText()));
}

void TForm_GlowKite::RecordingStateChanged(TRecordingState state)
{
    const bool stopped = state == TRecordingState::Stopped;
    act_Start_->setEnabled(stopped);
    act_Stopp_->setEnabled(!stopped);
    act_Port_->setEnabled(stopped);
    health_.Watch(state == TRecordingState::Recording);
    switch (state) {
    case TRecordingState::Recording:
        SetPanelText(0, QStringLiteral("verbunden"));
        healthTimer_->start();
        if (panels_[3]->text() == QStringLiteral("wartet") && !(retryTimer_ && retryTimer_->isActive()))
            SetPanelText(3, QStringLiteral("Status")); // connected after Connecting
        if (retryTimer_ && retryTimer_->isActive()) {
            // Back after a loss: the notice, if still open, says so.
            retryTimer_->stop();
            if (liveFlags_ >= 0) {
                ShowLiveStatus(liveFlags_);
            } else {
                SetPanelText(3, QStringLiteral("Status"));
                panels_[3]->setToolTip({});
            }
            if (warningNotice_.IsVisible())
                warningNotice_.Show(MessageText(lastConnectionNote_), TNoticeBox::Information);
        }
        break;
    case TRecordingState::WaitingForPort:
        // Never "verbunden" while nothing can arrive. A lost port is
        // information, not an error: the recording goes on by itself.
        SetPanelText(0, QStringLiteral("getrennt"));
        SetPanelText(3, QStringLiteral("wartet"));
        panels_[3]->setStyleSheet({});
        panels_[3]->setToolTip(MessageText(lastConnectionNote_));
        warningNotice_.Show(MessageText(lastConnectionNote_), TNoticeBox::Information);
        if (retryTimer_)
            retryTimer_->start();
        break;
    case TRecordingState::Connecting:
        // A network port: the connection is made off the GUI thread.
        SetPanelText(0, QStringLiteral("getrennt"));
        SetPanelText(3, QStringLiteral("wartet"));
        panels_[3]->setToolTip(MessageText("Verbindung zu " + dialogs_.FComCfg->SerialComm().DevicePath() +
                                           " wird aufgebaut"));
        break;
    case TRecordingState::Stopped:
        if (retryTimer_)
            retryTimer_->stop();
        if (healthTimer_->isActive()) {
            healthTimer_->stop();
            // The last figures stay until the next Start.
            health_.Update(session_.Receiver.Counters(), TSerLineErrors{});
            ShowLineFigures();
        }
        SetPanelText(0, QStringLiteral("getrennt"));
        SetPanelText(3, QStringLiteral(" Status"));
        panels_[3]->setStyleSheet({});
        panels_[3]->setToolTip({});
        break;
    }
}

void TForm_GlowKite::ConnectionNote(std::string_view line)
{
    lastConnectionNote_.assign(line);
    AppendStatusLine(line);
}

void TForm_GlowKite::ConnectFailed(std::string_view message)
{
    // Not a modal box: the window stays usable, the next Start tries again.
    errorNotice_.Show(MessageText(message));
}

void TForm_GlowKite::btn_ClearClick()
{
    ClearData();
}

void TForm_GlowKite::AppendPoint(TSeries s, double value, std::string_view label, TColor color)
{
    chart_->Append(s, value, label, color);
}

void TForm_GlowKite::ClearSeries()
{
    chart_->Clear();
}

int TForm_GlowKite::PointCount(TSeries s) const
{
    return chart_->Count(s);
}

void TForm_GlowKite::SetSeriesVisible(TSeries s, bool visible)
{
    chart_->SetVisible(s, visible);
}

void TForm_GlowKite::UndoZoom()
{
    chart_->UndoZoom();
}

void TForm_GlowKite::AppendStatusLine(std::string_view line)
{
    memStatus_->AddLine(line);
}

void TForm_GlowKite::AppendHexLine(std::string_view line)
{
    memHex_->AddLine(line);
}

void TForm_GlowKite::ClearPanes()
{
    memHex_->Clear();
    memStatus_->Clear();
}

void TForm_GlowKite::ReplaceHexLines(TLineStore &&lines)
{
    memHex_->Lines().ReplaceAll(std::move(lines));
}

void TForm_GlowKite::SetCountText(std::string_view text)
{
    // A new count each frame would lay the data pane out again 143 times a
    // second; the label follows at the display rate instead. A single change
    // shows at once; in a burst the last text is shown at the end.
    pendingCount_ = FromCp1252(text);
    if (countTimer_->isActive())
        return;
    lblWerteAnz_->setText(pendingCount_);
    lblWerteAnz_->setToolTip(StoredCountText());
    countTimer_->start();
}

QString TForm_GlowKite::StoredCountText() const
{
    // The label counts the points of the day shown; this says what reached
    // the disk, so a frame that could not be stored is never taken as recorded.
    const TFrameReceiver &r = session_.Receiver;
    QString text = QStringLiteral("Seit Programmstart empfangen %1, gespeichert %2")
                       .arg(r.FramesReceived())
                       .arg(r.FramesStored());
    if (r.StatusLinesLost() > 0)
        text += QStringLiteral("; %1 Statuszeilen nicht im Statusprotokoll").arg(r.StatusLinesLost());
    return text;
}

void TForm_GlowKite::ConnectNavigationAndReplay()
{
    new TKeyPreview(this, [this](int key) { Guarded(this, [this, key] { FormKeyDown(key); }); });
    Connect(chart_.get(), &TChartAdapter::zoomed, &TForm_GlowKite::cht_DataZoom);
    connect(chart_.get(), &TChartAdapter::doubleClicked, this,
            [this](QPointF pos) { Guarded(this, [this, pos] { cht_DataDblClick(pos); }); });
    Connect(monthCalendar_, &QCalendarWidget::currentPageChanged, &TForm_GlowKite::UpdateBoldDays);
    // activated: a double click on a day, or Enter on the selected day.
    Connect(monthCalendar_, &QCalendarWidget::activated, &TForm_GlowKite::MonthCalendarDblClick);
    Connect(memStatus_, &TTextPane::lineDoubleClicked, &TForm_GlowKite::mem_StatusDblClick);
}

void TForm_GlowKite::FormKeyDown(int Key)
{
    switch (Key) {
    case Qt::Key_Escape: chart_->UndoZoom(); break;
    case Qt::Key_F1:
    case Qt::Key_F2: {
        const TAxisRange r = chart_->Range(TChartAxis::Bottom);
        ScrollChart(Key == Qt::Key_F1 ? TScrollDirection::Backward : TScrollDirection::Forward,
                    (r.max - r.min) / 10.0);
        break;
    }
    case Qt::Key_F3: ZoomChart(false); break;
    case Qt::Key_F4: ZoomChart(true); break;
    default: break;
    }
}

void TForm_GlowKite::ScrollChart(TScrollDirection direction, double offset)
{
    if (direction == TScrollDirection::Backward)
        offset = -offset;
    chart_->Scroll(TChartAxis::Left, 0);
    chart_->Scroll(TChartAxis::Right, 0);
    chart_->Scroll(TChartAxis::Bottom, offset);
    chart_->Scroll(TChartAxis::Top, offset);
    chart_->SetFocus();
}

void TForm_GlowKite::ZoomToValues(double from, double to)
{
    const QPoint topLeft(qRound(chart_->BottomValueToPixel(from)), qRound(chart_->LeftValueToPixel(LeftAxisRange.max)));
    const QPoint bottomRight(qRound(chart_->BottomValueToPixel(to)), qRound(chart_->LeftValueToPixel(LeftAxisRange.min)));
    chart_->ZoomToRect(QRect(topLeft, bottomRight));
}

void TForm_GlowKite::ZoomChart(bool zoomOut)
{
    const TAxisRange r = chart_->Range(TChartAxis::Bottom);
    if (!(r.max > r.min))
        return; // nothing to zoom around
    double d = (r.max - r.min) / 5.0;
    if (!zoomOut)
        d = -d;
    ZoomToValues(r.min - d, r.max + d);
}

void TForm_GlowKite::ZoomxPos(double x)
{
    const TAxisRange r = chart_->Range(TChartAxis::Bottom);
    if (!(r.max > r.min))
        return;
    const double d = (r.max - r.min) / 10.0;
    ZoomToValues(x - d, x + d);
}

void TForm_GlowKite::cht_DataDblClick(QPointF pos)
{
    ZoomxPos(chart_->PixelToBottomValue(pos.x()));
}

void TForm_GlowKite::cht_DataZoom()
{
    chart_->SetRange(TChartAxis::Left, LeftAxisRange);
    chart_->SetRange(TChartAxis::Right, RightAxisRange);
}

std::string TForm_GlowKite::DayFileName(const TDay &day) const
{
    return DataLog.FileName(LocalTime{day.year, day.month, day.day, 12, 0, 0, 0});
}

void TForm_GlowKite::UpdateBoldDays()
{
    const auto exists = [this](const TDay &day) {
        return IsDayFile(DayFileName(day));
    };
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    monthCalendar_->setDateTextFormat(QDate(), QTextCharFormat()); // clears every day
    const QDate shown(monthCalendar_->yearShown(), monthCalendar_->monthShown(), 1);
    for (int k = -1; k <= 1; ++k) {
        const QDate first = shown.addMonths(k);
        const std::uint32_t mask = MonthCalendarGetMonthInfo(static_cast<unsigned>(first.month()),
                                                             static_cast<unsigned>(first.year()), exists);
        for (int d = 1; d <= first.daysInMonth(); ++d)
            if (mask & (1u << (d - 1)))
                monthCalendar_->setDateTextFormat(QDate(first.year(), first.month(), d), bold);
    }
}

void TForm_GlowKite::FrameHandled()
{
    // A new day empties the chart: from then on it shows live frames only.
    if (replayedProtocol_ && !replaying_ && session_.Receiver.CurrentDay != replayedOnDay_) {
        replayedProtocol_.reset();
        ShowProtocol();
    }
    // Live frames only: a replay does not come this way.
    if (const int flags = session_.Receiver.Counters().lastFlags; flags != liveFlags_) {
        const int before = liveFlags_ < 0 ? 0 : liveFlags_;
        ShowLiveStatus(flags);
        const int turnedOn = flags & ~before & 0x03;
        if (Desktopmeldung && turnedOn && NotifyDesktop)
            NotifyDesktop(QStringLiteral("GlowKite: %1").arg(turnedOn & 0x01 ? QStringLiteral("Alarm")
                                                                             : QStringLiteral("St\u00f6rung")),
                          panels_[3]->text() + QStringLiteral(" seit ") +
                              QString::fromStdString(DateTimeText(SystemClock())));
    }
    // Looked at once a day: after the first frame of a day its file exists.
    if (session_.Receiver.CurrentDay == markedDay_)
        return;
    const std::optional<TDay> day = DayOfDateText(session_.Receiver.CurrentDay);
    if (!day || !IsDayFile(DayFileName(*day)))
        return;
    markedDay_ = session_.Receiver.CurrentDay;
    UpdateBoldDays();
}

void TForm_GlowKite::MonthCalendarDblClick()
{
    const QDate date = monthCalendar_->selectedDate();
    LoadFromFile(DayFileName(TDay{date.year(), date.month(), date.day()}));
}

void TForm_GlowKite::OpenDayFile(const std::string &path)
{
    if (const std::optional<TDay> day = DayOfFileName(path))
        monthCalendar_->setSelectedDate(QDate(day->year, day->month, day->day));
    LoadFromFile(path);
}

void TForm_GlowKite::LoadFromFile(const std::string &F)
{
    // The replay lets the window serve events now and then, a double click
    // on the calendar among them: that must not start a replay inside this one.
    if (replaying_)
        return;
    replaying_ = true;
    struct TReplayEnd {
        TForm_GlowKite &w;
        ~TReplayEnd()
        {
            w.replaying_ = false;
            w.chart_->SetReplotHeld(false);
        }
    } end{*this};
    // One redraw at the end instead of one per pass of the event loop: a
    // redraw of a growing million points would take as long as the reading.
    chart_->SetReplotHeld(true);
    replayedProtocol_.reset(); // the chart is emptied first
    ShowProtocol();
    replayedOnDay_ = session_.Receiver.CurrentDay;
    TDayReplay replay(session_.Decoder, *this);
    replay.ProgressEvery = ReplayProgressEvery;
    replay.LoadFromFile(F);
}

void TForm_GlowKite::mem_StatusDblClick()
{
    const int line = memStatus_->CurrentLine();
    if (line >= 0)
        ZoomToLabel(memStatus_->Lines().Line(line).substr(0, LabelLength));
}

void TForm_GlowKite::ZoomToLabel(std::string_view T)
{
    const int i = chart_->FindLabel(TSeries::AQ, T);
    if (i >= 0)
        ZoomToValues(i - 20, i + 5);
}

void TForm_GlowKite::Warning(std::string_view message)
{
    warningNotice_.Show(MessageText(message));
}

void TForm_GlowKite::BeginProgress(std::string_view text, std::int64_t maximum)
{
    if (TForm_pgb *pgb = dialogs_.Form_pgb) {
        pgb->lbl_Pgb->setText(MessageText(text));
        pgb->pgb_Read->setRange(0, static_cast<int>(std::min<std::int64_t>(maximum, INT_MAX)));
        pgb->pgb_Read->setValue(0);
        pgb->show();
    }
    QCoreApplication::processEvents();
    lastPump_ = std::chrono::steady_clock::now();
}

void TForm_GlowKite::Progress(std::int64_t lines)
{
    if (TForm_pgb *pgb = dialogs_.Form_pgb)
        pgb->pgb_Read->setValue(static_cast<int>(std::min<std::int64_t>(lines, pgb->pgb_Read->maximum())));
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump_ >= ReplayPumpInterval) {
        QCoreApplication::processEvents();
        lastPump_ = std::chrono::steady_clock::now();
    }
}

void TForm_GlowKite::ShowReplayedProtocol(TProtocol protocol)
{
    replayedProtocol_ = protocol;
    ShowProtocol();
}

void TForm_GlowKite::EndProgress()
{
    if (TForm_pgb *pgb = dialogs_.Form_pgb)
        pgb->hide();
}

} // namespace glowkite
