#pragma once
// The main window TForm_GlowKite: chart, status and data panes, month
// calendar, menu and status bar. It composes the parts: the session (log
// writers, decoding, receiver, recording) shows through it what the decoding
// produces (IMeasurementView).

#include "app/core/DayFiles.h"
#include "app/core/DayReplay.h"
#include "app/core/FrameReceiver.h"
#include "app/core/LiveHealth.h"
#include "gui/GuiSupport.h"
#include "gui/WindowPlacement.h"
#include "app/core/MeasurementDecoder.h"
#include "app/core/MeasurementView.h"
#include "app/core/Recording.h"
#include "app/core/Session.h"
#include "logging/LOGFile.h"
#include "settings/Paths.h"

#include <QMainWindow>
#include <QPointF>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QCalendarWidget;
class QDialog;
class QLabel;
class QPushButton;
class QSplitter;
class QTimer;

namespace glowkite {

class TChartAdapter;
class TMqttPublisher;
class TMqttWatcher;
class TTextPane;
class TWatchFeed;
class TFComCfg;
class TFOption;
class TForm_pgb;

// The dialogs that the program block creates after the main window; they
// live hidden until the program ends.
struct TDialogs {
    TFComCfg *FComCfg = nullptr; // owns the serial component
    TFOption *FOption = nullptr;
    TForm_pgb *Form_pgb = nullptr;
    QDialog *AboutBox = nullptr;
};

// IReplayEvents includes IFrameEvents: the replay reports protocol switches
// as reception does.
class TForm_GlowKite : public QMainWindow,
                       public IMeasurementView,
                       public IReplayEvents,
                       public IRecordingEvents,
                       public ILiveHealthEvents {
    Q_OBJECT
    // First: StatusLog and DataLog refer into it.
    TSession session_;

public:
    explicit TForm_GlowKite(const ProgramPaths &paths, QWidget *parent = nullptr);
    ~TForm_GlowKite() override;

    // Takes the dialogs; the port dialog's serial component becomes the
    // port of the recordings.
    void SetDialogs(const TDialogs &dialogs);
    // The recording control (exists once the port dialog is set).
    TRecording *Recording() { return session_.Recording(); }

    // The demo session: a recording from the simulator's port `demoPort`
    // goes to the demo folder beside the LOG folder (DemoLogDir), a recording
    // from any other port to the LOG folder, so that simulated and real
    // frames never share a folder. Decided at each start.
    void SetDemoPort(const std::string &demoPort);
    // The folder the log writers write to now.
    const std::string &LogDir() const { return StatusLog.Directory; }

    // The measurement state and the six display settings.
    TMeasurementDecoder &Decoder() { return session_.Decoder; }
    TChartAdapter &Chart() { return *chart_; }
    TTextPane &mem_HEX() { return *memHex_; }
    TTextPane &mem_Status() { return *memStatus_; }
    QCalendarWidget &MonthCalendar() { return *monthCalendar_; }
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString &text);

    TLogFile &StatusLog;
    TLogFile &DataLog;

    // The frame receiver (it keeps CurrentDay, the day shown).
    TFrameReceiver &Receiver() { return session_.Receiver; }

    // The silence watchdog and the line figures of panels 4 and 5 (its
    // DatenTimeout is the setting of that name).
    TLiveHealth &Health() { return health_; }
    // Setting "Desktopmeldung": a desktop notification when the status
    // turns to Alarm or Störung.
    bool Desktopmeldung = false;
    // How that notification is shown (title, text).
    std::function<void(const QString &, const QString &)> NotifyDesktop;

    // The non-blocking boxes: protocol switches, and errors while frames are
    // handled.
    TNoticeBox &WarningNotice() { return warningNotice_; }
    TNoticeBox &ErrorNotice() { return errorNotice_; }

    void ShowProtocol() override;
    void ClearData();
    void UpDateGraph();
    void ReadIni();
    void WriteIni();

    // Publishes what is recorded to the broker at url
    // (mqtt://HOST[:PORT]/TOPIC); its notes go to the status pane, its
    // figures to the tooltip of status panel 0.
    void PublishToMqtt(const std::string &url);
    // Shows the detector recorded elsewhere at url, from its RX lines on the
    // broker, instead of recording here; writes no files.
    void WatchMqtt(const std::string &url);
    TMqttPublisher *MqttPublisher() { return mqttPublisher_; }
    TMqttWatcher *MqttWatcher() { return mqttWatcher_.get(); }

    // The chart height and the status pane width as the window has them
    // (or will have them once shown).
    int ChartHeight() const;
    int Panel1Width() const;

    // IMeasurementView
    void AppendPoint(TSeries s, double value, std::string_view label, TColor color) override;
    void ClearSeries() override;
    int PointCount(TSeries s) const override;
    void SetSeriesVisible(TSeries s, bool visible) override;
    void UndoZoom() override;
    void AppendStatusLine(std::string_view line) override;
    void AppendHexLine(std::string_view line) override;
    void ClearPanes() override;
    void ReplaceHexLines(TLineStore &&lines) override;
    void SetCountText(std::string_view text) override;

    // IFrameEvents
    void ProtocolSwitched(std::string_view message) override;
    void FrameFailed(std::string_view message) override;
    void FramesResumed(std::int64_t dropped) override;
    void StatusLogFailed(std::string_view file, std::string_view message) override;
    void StatusLogResumed(std::int64_t lost) override;

    // IRecordingEvents
    void RecordingStateChanged(TRecordingState state) override;
    void ConnectionNote(std::string_view line) override;
    void ConnectFailed(std::string_view message) override;

    // ILiveHealthEvents
    void SilenceBegan(int timeout) override;
    void SilenceEnded(double seconds) override;

    // The chart as shown, as PNG or PDF (by the name's ending); the shown
    // points as CSV (the same rows as glowkite-cli export --points). Raise
    // an error naming the file when it cannot be written.
    void SaveChart(const QString &fileName);
    void ExportData(const QString &fileName, bool excel = false);

    // Chart navigation. Keys are Qt key codes; the modifiers do not count.
    enum class TScrollDirection { Backward, Forward };
    void FormKeyDown(int Key);
    void ScrollChart(TScrollDirection direction, double offset);
    void ZoomChart(bool zoomOut);
    void ZoomxPos(double x);
    // pos: where the chart was double-clicked, in its pixels.
    void cht_DataDblClick(QPointF pos);
    void cht_DataZoom();

    // Day replay and calendar. Day files are those of DataLog, in its folder.
    std::string DayFileName(const TDay &day) const;
    // Marks the days with a day file in bold, for the month shown and the
    // neighbouring months the calendar shows in part.
    void UpdateBoldDays();
    void MonthCalendarDblClick();
    // Replays the file F (a second replay does not start while one runs).
    void LoadFromFile(const std::string &F);
    // Replays a day file named on the command line, with the calendar set to
    // its day, as a double click on that day would.
    void OpenDayFile(const std::string &path);
    bool Replaying() const { return replaying_; }
    void mem_StatusDblClick();
    void ZoomToLabel(std::string_view T);
    // How often a replay lets the window repaint and serve waiting events
    // (received frames among them), and how many lines pass between two
    // looks at the clock.
    std::chrono::milliseconds ReplayPumpInterval{50};
    std::int64_t ReplayProgressEvery = 1024;

    // IReplayEvents
    void Warning(std::string_view message) override;
    void BeginProgress(std::string_view text, std::int64_t maximum) override;
    void Progress(std::int64_t lines) override;
    void EndProgress() override;
    void ShowReplayedProtocol(TProtocol protocol) override;
    void FrameHandled() override;

public slots:
    void act_SaveChartExecute();
    void act_ExportDataExecute();
    void act_ExitExecute();
    void act_OptionExecute();
    void act_AboutExecute();
    // Recording and the port dialog are filled in with the frame receiver.
    void act_StartExecute();
    void act_StoppExecute();
    void act_PortExecute();
    void btn_ClearClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void BuildMenu();
    void BuildLayout();
    void BuildStatusBar();
    void FormCreate();
    // Runs a handler as a GUI entry point (errors shown in a box).
    template <class Sender, class Signal>
    void Connect(Sender *sender, Signal signal, void (TForm_GlowKite::*handler)());
    void ApplyWindowBounds(const QRect &outer);
    // Panels 4 and 5 from the live figures.
    void ShowLineFigures();
    // Panel 3 from the status flags of the last frame, in short and coloured.
    void ShowLiveStatus(int flags);
    // Outer bounds from the settings file, fitted to the screens present.
    QRect FitStoredBounds(const TStoredBounds &stored) const;
    // Once the window manager has framed the window: the outer bounds again.
    void FitFrame();
    void ApplySplitterSizes();
    // Shows an error of the log writers in the status pane and the error box.
    void LogError(const std::string &text);
    // Points the log writers at the folder for a recording from `device`.
    void UseLogDirFor(const std::string &device);
    // Status panel 1: the port name, whole in its tool tip (the panel is narrow).
    void ShowPortPanel(const std::string &device);
    QString StoredCountText() const;

    // Chart navigation and day replay.
    void ConnectNavigationAndReplay();
    // Zooms the chart to the bottom-axis values from..to over the left
    // axis's fixed range, through whole pixels as a mouse zoom would.
    void ZoomToValues(double from, double to);

    void ShowMqtt();        // notes and the state, now and then
    void TakeWatchedLines(); // on the GUI thread, when lines have arrived

    ProgramPaths paths_;
    TDialogs dialogs_;
    TMqttPublisher *mqttPublisher_ = nullptr; // owned by the session
    std::unique_ptr<TMqttWatcher> mqttWatcher_;
    std::unique_ptr<TWatchFeed> watchFeed_;
    QTimer *mqttTimer_ = nullptr;
    std::string lastWatchError_;
    TNoticeBox warningNotice_;
    TNoticeBox errorNotice_;
    QTimer *retryTimer_ = nullptr; // drives the reconnect while waiting for a lost port
    std::string lastConnectionNote_;
    TLiveHealth health_{*this};
    QTimer *healthTimer_ = nullptr; // looks at the line while recording
    int liveFlags_ = -1;            // status flags shown in panel 3; -1: none yet
    QTimer *countTimer_ = nullptr; // keeps lbl_WerteAnz at the display rate
    QString pendingCount_;

    QAction *act_SaveChart_ = nullptr;
    QAction *act_ExportData_ = nullptr;
    QAction *act_Exit_ = nullptr;
    QAction *act_Option_ = nullptr;
    QAction *act_Start_ = nullptr;
    QAction *act_Stopp_ = nullptr;
    QAction *act_Port_ = nullptr;
    QAction *act_About_ = nullptr;

    QSplitter *chartSplitter_ = nullptr;
    QSplitter *paneSplitter_ = nullptr;
    std::unique_ptr<TChartAdapter> chart_;
    QLabel *lblProtocol_ = nullptr;
    QWidget *pnlControl_ = nullptr;
    QPushButton *btnClear_ = nullptr;
    QCalendarWidget *monthCalendar_ = nullptr;
    QWidget *panel1_ = nullptr;
    TTextPane *memStatus_ = nullptr;
    QWidget *pnlData_ = nullptr;
    QLabel *lblWerteAnz_ = nullptr;
    TTextPane *memHex_ = nullptr;
    std::array<QLabel *, 6> panels_{};

    QRect outerBounds_;
    bool frameSettled_ = true; // the frame is known (or there is none)
    QTimer *frameTimer_ = nullptr;
    int framePolls_ = 0;
    static constexpr int FramePollLimit = 100; // 2 s: no window manager frames it
    int chartHeight_ = 300;
    int panel1Width_ = 230;
    bool shown_ = false;

    bool replaying_ = false;
    std::chrono::steady_clock::time_point lastPump_{};
    std::string markedDay_; // the day whose file the calendar knows exists
    std::string demoPort_;  // the simulator's port in a demo session
    // The protocol of the replayed day while the chart shows it; the label
    // shows it instead of the live receiver's, which the replay leaves alone.
    std::optional<TProtocol> replayedProtocol_;
    std::string replayedOnDay_; // the live day when the replay ran
};

} // namespace glowkite
