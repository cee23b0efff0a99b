#pragma once
// The main window TForm_GlowKite: chart, status and data panes, month
// calendar, menu and status bar. It composes the parts: the session (log
// writers, decoding, receiver, recording) shows through it what the decoding
// produces (IMeasurementView).

#include "app/core/DayFiles.h"
#include "app/core/DayReplay.h"
#include "app/core/FrameReceiver.h"
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
class TTextPane;
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
                       public IRecordingEvents {
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

    // The non-blocking boxes: protocol switches, and errors while frames are
    // handled.
    TNoticeBox &WarningNotice() { return warningNotice_; }
    TNoticeBox &ErrorNotice() { return errorNotice_; }

    void ShowProtocol() override;
    void ClearData();
    void UpDateGraph();
    void ReadIni();
    void WriteIni();

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

    // IRecordingEvents
    void RecordingStateChanged(TRecordingState state) override;
    void ConnectionNote(std::string_view line) override;

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
    // Outer bounds from the settings file, fitted to the screens present.
    QRect FitStoredBounds(const TStoredBounds &stored) const;
    // Once the window manager has framed the window: the outer bounds again.
    void FitFrame();
    void ApplySplitterSizes();

    // Chart navigation and day replay.
    void ConnectNavigationAndReplay();
    // Zooms the chart to the bottom-axis values from..to over the left
    // axis's fixed range, through whole pixels as a mouse zoom would.
    void ZoomToValues(double from, double to);

    ProgramPaths paths_;
    TDialogs dialogs_;
    TNoticeBox warningNotice_;
    TNoticeBox errorNotice_;
    QTimer *retryTimer_ = nullptr; // drives the reconnect while waiting for a lost port
    std::string lastConnectionNote_;
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
    // The protocol of the replayed day while the chart shows it; the label
    // shows it instead of the live receiver's, which the replay leaves alone.
    std::optional<TProtocol> replayedProtocol_;
    std::string replayedOnDay_; // the live day when the replay ran
};

} // namespace glowkite
