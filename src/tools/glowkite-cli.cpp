// glowkite-cli: the command-line companions of the GlowKite logger.
//   record    a recording without a window, into the same files
//   simulate  a simulated detector on a pseudo-terminal or a device
//   export    a stored day as CSV (frames, or the chart's points)

#include "about/fileUtil.h"
#include "app/core/DayReplay.h"
#include "app/core/Export.h"
#include "app/core/LiveHealth.h"
#include "app/core/MemoryView.h"
#include "app/core/Recording.h"
#include "app/core/Session.h"
#include "mqtt/MqttPublisher.h"
#include "serial/SerComm.h"
#include "settings/IniFile.h"
#include "settings/Paths.h"
#include "tools/CliArgs.h"
#include "tools/CliPlatform.h"
#include "sim/SimulatorPort.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iostream>
#include <thread>

using namespace glowkite;

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int)
{
    g_stop = true;
}

const char *const Usage =
    "usage:\n"
    "  glowkite-cli record --port PORT [--log-dir DIR] [--ini FILE] [--duration S]\n"
    "                        [--fail-after-silence S] [--mqtt mqtt://HOST[:PORT]/TOPIC]\n"
    "                        PORT: a serial device, tcp://HOST:PORT (raw TCP to a serial\n"
    "                        device server) or rfc2217://HOST:PORT (Telnet COM-PORT-OPTION)\n"
    "  glowkite-cli simulate [--pty | --port DEVICE] [--protocol plus|old] [--fps N]\n"
    "                        (--pty: Linux only)\n"
    "                        [--frames N] [--duration S] [--seed N] [--status-run]\n"
    "                        [--aq-ramp] [--position-ramp] [--contamination N|drift]\n"
    "                        [--garbage N] [--both-marks-every N] [--switch-protocol-after N]\n"
    "  glowkite-cli export DAY.glow (--csv | --points [--interval N] [--changes-only])\n"
    "                        [--excel] [-o FILE]\n"
    "  glowkite-cli --version | --help\n";

// --help: the usage and what each option does.
const char *const Help =
    "glowkite-cli: the GlowKite logger without a window.\n"
    "\n"
    "record: records a detector's frames into the same day files and status log\n"
    "as the window (glowkite_yymmdd.glow, glowKite_yymm.log) until Ctrl+C.\n"
    "  --port DEVICE      serial port (/dev/ttyUSB0, a pseudo-terminal, COMn)\n"
    "  --log-dir DIR      folder of the day files (default: the program's LOG folder)\n"
    "  --duration S       stop after S seconds\n"
    "\n"
    "simulate: a simulated detector (35710 baud frames of both protocols).\n"
    "  --pty              on a new pseudo-terminal; its path is printed\n"
    "  --port DEVICE      on a real port (e.g. one end of a null-modem cable)\n"
    "  --protocol P       plus (\"glowkite +\", default) or old (\"glowkite\")\n"
    "  --fps N            frames per second, 0.01 to 143 (default 10)\n"
    "  --frames N         stop after N frames      --duration S  after S seconds\n"
    "  --seed N           seed of the simulated values\n"
    "  --status-run       run through the status words\n"
    "  --aq-ramp          rising and falling air quality\n"
    "  --position-ramp    moving beam alignment\n"
    "  --contamination N  fixed contamination 0..255, or drift\n"
    "  --garbage N        up to N junk bytes between frames\n"
    "  --both-marks-every N, --switch-protocol-after N   protocol detection cases\n"
    "\n"
    "export: a stored day as CSV, to standard output or -o FILE.\n"
    "  --csv              one row per frame\n"
    "  --points           the chart's points, as the window plots them, with\n"
    "                     --interval N (default 60) and --changes-only\n"
    "  --excel            semicolons and decimal commas\n"
    "\n"
    "  --version          the version and build date\n"
    "  --help             this text\n"
    "\n"
    "Exit status: 0 done, 1 failed (the message says why), 2 bad command line.\n";

int Simulate(TCliArgs &args)
{
    TSimOptions o;
    o.oldProtocol = args.Choice("--protocol", {"plus", "old"}, "plus") == "old";
    o.seed = static_cast<std::uint32_t>(args.Integer("--seed", 1, 0, 0xFFFFFFFFLL));
    o.statusRun = args.Flag("--status-run");
    o.aqRamp = args.Flag("--aq-ramp");
    o.positionRamp = args.Flag("--position-ramp");
    const std::string contamination = args.Value("--contamination", "128");
    o.contamination = contamination == "drift" ? -1 : static_cast<int>(TCliArgs::ParseInteger("--contamination", contamination, 0, 255));
    o.garbageMax = static_cast<int>(args.Integer("--garbage", 0, 0, 1000));
    o.bothMarksEvery = static_cast<int>(args.Integer("--both-marks-every", 0, 0, 1000000));
    o.switchProtocolAfter = args.Integer("--switch-protocol-after", 0, 0, 1LL << 40);
    const double fps = args.Real("--fps", 10.0, 0.01, 143.0);
    const std::int64_t frames = args.Integer("--frames", -1, -1, 1LL << 40);
    const double duration = args.Real("--duration", 0.0, 0.0, 1e9);
    const std::string device = args.Value("--port", "");
    const bool pty = args.Flag("--pty");
    args.ExpectNoMore();
    if (pty == !device.empty())
        throw TCliError("simulate needs either --pty or --port DEVICE");

    TSimulatorPort port(o, fps);
    if (pty) {
        std::cout << port.OpenPty() << std::endl;
    } else {
        port.OpenDevice(device);
    }

    CatchStopSignals(OnSignal);
    port.Start(frames);
    const auto start = std::chrono::steady_clock::now();
    while (port.Running() && !g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (duration > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(duration))
            break;
    }
    port.Stop();
    std::cerr << "frames sent: " << port.FramesSent() << "\n";
    if (!port.Error().empty()) {
        std::cerr << port.Error() << "\n";
        return 1;
    }
    return 0;
}

// What the recorder keeps of the measurements: counts and the last values,
// not the points (a recording may run for weeks).
class RecorderView : public IMeasurementView {
public:
    void AppendPoint(TSeries s, double value, std::string_view, TColor) override
    {
        ++counts_[static_cast<int>(s)];
        if (s == TSeries::AQ)
            lastAq = value;
    }
    void ClearSeries() override { counts_ = {}; }
    int PointCount(TSeries s) const override { return counts_[static_cast<int>(s)]; }
    void SetSeriesVisible(TSeries, bool) override {}
    void UndoZoom() override {}
    void AppendStatusLine(std::string_view line) override
    {
        ++statusChanges;
        lastStatus.assign(line.size() > StatusWordsColumn ? line.substr(StatusWordsColumn) : line);
    }
    void AppendHexLine(std::string_view) override { ++frames; }
    void ClearPanes() override {}
    void ReplaceHexLines(TLineStore &&) override {}
    void SetCountText(std::string_view) override {}

    std::int64_t frames = 0, statusChanges = 0;
    double lastAq = 0;
    std::string lastStatus = "-";

private:
    std::array<int, SeriesCount> counts_{};
};

// Exit code of a recording ended by --fail-after-silence.
constexpr int ExitSilence = 3;

class RecorderEvents : public IFrameEvents, public IRecordingEvents, public ILiveHealthEvents {
public:
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view message) override { Say(message); }
    void FrameFailed(std::string_view message) override { Say(message); }
    void FramesResumed(std::int64_t dropped) override
    {
        Say("Frames are stored again; " + std::to_string(dropped) + " could not be stored.");
    }
    void StatusLogFailed(std::string_view file, std::string_view message) override
    {
        Say("The status log " + std::string(file) + " cannot be written (the frames are stored): " +
            std::string(message));
    }
    void StatusLogResumed(std::int64_t lost) override
    {
        Say("The status log is written again; " + std::to_string(lost) + " status lines are missing from it.");
    }
    void RecordingStateChanged(TRecordingState s) override
    {
        if (s == TRecordingState::WaitingForPort)
            ++connectionsLost;
    }
    void ConnectionNote(std::string_view line) override { Say(Cp1252ToUtf8(line)); }
    // The same lines as the window's status pane; the broker's retained state follows.
    void SilenceBegan(int timeout) override
    {
        Say(SilenceBeganLine(DateTimeText(SystemClock()), timeout));
        if (session)
            session->SilenceChanged(true);
    }
    void SilenceEnded(double seconds) override
    {
        Say(SilenceEndedLine(DateTimeText(SystemClock()), seconds));
        if (session)
            session->SilenceChanged(false);
    }
    TSession *session = nullptr;
    void ConnectFailed(std::string_view message) override { connectError = Cp1252ToUtf8(message); }

    void Say(std::string_view text)
    {
        std::string clean(text);
        for (char &c : clean)
            if (c == '\r' || c == '\n')
                c = ' ';
        std::cerr << (statusShown ? "\n" : "") << clean << "\n";
        statusShown = false;
    }

    bool statusShown = false;
    int connectionsLost = 0;
    std::string connectError;
};

int Record(TCliArgs &args)
{
    const std::string device = args.Value("--port", "");
    PathOverrides overrides;
    overrides.LogDir = args.Value("--log-dir", "");
    overrides.IniFile = args.Value("--ini", "");
    const double duration = args.Real("--duration", 0.0, 0.0, 1e9);
    const std::string mqtt = args.Value("--mqtt", "");
    const double failAfterSilence = args.Real("--fail-after-silence", 0.0, 0.0, 1e9);
    args.ExpectNoMore();
    if (device.empty())
        throw TCliError("record needs --port PORT (a device, tcp://HOST:PORT or rfc2217://HOST:PORT)");
    std::optional<TMqttUrl> mqttUrl;
    if (!mqtt.empty())
        mqttUrl = ParseMqttUrl(mqtt); // a bad address ends here, before the port opens

    const ProgramPaths paths = SystemProgramPaths(overrides);
    RecorderView view;
    RecorderEvents events;
    auto handOff = std::make_shared<TSerHandOffQueue>();
    TSerComm comm(handOff);
    comm.ExceptionDisplay = [&events](std::exception_ptr e) { events.Say(ExceptionMessage(e)); };
    comm.SetDeviceName(device);
    TSession session(view, events, events);
    events.session = &session;
    session.SetLogDir(paths.LogDir);
    for (TLogFile *log : {&session.StatusLog, &session.DataLog})
        log->Notice = [&events](const std::string &text) { events.Say(text); };
    TRecording &recording = session.RecordFrom(comm);
    TMqttPublisher *publisher = nullptr;
    if (mqttUrl) {
        auto p = std::make_unique<TMqttPublisher>(*mqttUrl);
        publisher = p.get();
        session.PublishTo(std::move(p));
    }
    // The window's time-out, from the same settings file.
    TLiveHealth health(events);
    health.DatenTimeout = TIniFile(paths.IniFile).ReadInteger("Parameter", "DatenTimeout", DefaultDatenTimeout);

    CatchStopSignals(OnSignal);
    health.Start(session.Receiver.Counters());
    recording.Start(); // a bad port raises the component's message
    std::cerr << "Recording from " << comm.DevicePath() << " into " << paths.LogDir
              << (publisher ? ", publishing to " + publisher->Url().Text() : std::string()) << " (Ctrl+C ends)\n";

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto nextStatus = start;
    std::int64_t framesAtLast = 0;
    const bool tty = StderrIsTerminal();
    bool silenceFailed = false;
    auto lastFrame = start;
    std::int64_t lastFrames = session.Receiver.Counters().frames;
    while (!g_stop) {
        handOff->WaitAndServe(std::chrono::milliseconds(100));
        recording.Tick();
        if (publisher)
            for (const std::string &note : publisher->TakeNotes())
                events.Say(Cp1252ToUtf8(note));
        // A network port that could not be reached at the start is an error,
        // as a missing device is (its note has been said already).
        if (!events.connectError.empty() && recording.State() == TRecordingState::Stopped) {
            if (events.statusShown)
                std::cerr << "\n";
            return 1;
        }
        const auto now = Clock::now();
        health.Watch(recording.State() == TRecordingState::Recording);
        health.Update(session.Receiver.Counters(), comm.LineErrors());
        if (session.Receiver.Counters().frames != lastFrames) { // a lost port is no data either
            lastFrames = session.Receiver.Counters().frames;
            lastFrame = now;
        }
        if (failAfterSilence > 0 && now - lastFrame >= std::chrono::duration<double>(failAfterSilence)) {
            events.Say("No data for " + std::to_string(std::llround(failAfterSilence)) + " s: giving up (exit code " +
                       std::to_string(ExitSilence) + ")");
            silenceFailed = true;
            break;
        }
        if (duration > 0 && now - start >= std::chrono::duration<double>(duration))
            break;
        if (now >= nextStatus) {
            const double fps = static_cast<double>(view.frames - framesAtLast);
            framesAtLast = view.frames;
            nextStatus += std::chrono::seconds(1);
            const TLineFigures &f = health.Figures();
            const std::string lineErrors =
                f.lineErrors.Counted ? std::to_string(f.lineErrors.Total()) : std::string("-");
            char line[400];
            std::snprintf(line, sizeof line, "frames %lld  %.0f/s  dropped %lld B  line errors %s  AQ %.0f  %s%s%s",
                          static_cast<long long>(view.frames), f.framesPerSecond,
                          static_cast<long long>(f.droppedBytes), lineErrors.c_str(), view.lastAq,
                          recording.State() == TRecordingState::WaitingForPort ? "waiting for the port  "
                          : recording.State() == TRecordingState::Connecting   ? "connecting  "
                          : health.Silent()                                     ? "keine Daten  "
                                                                                : "",
                          Cp1252ToUtf8(view.lastStatus).c_str(),
                          publisher ? ("  " + publisher->Summary()).c_str() : "");
            if (tty) {
                std::cerr << "\r\x1b[K" << line << std::flush;
                events.statusShown = true;
            } else if (fps > 0) {
                std::cerr << line << "\n";
            }
        }
    }
    recording.Stop(); // reads what has been received first
    health.Update(session.Receiver.Counters(), TSerLineErrors{});
    health.Watch(false);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    char silences[96];
    std::snprintf(silences, sizeof silences, "%d silences (%.0f s without data)", health.Silences(),
                  health.SilentSeconds());
    const TLineFigures &f = health.Figures();
    const TFrameReceiver &rx = session.Receiver;
    std::cerr << (events.statusShown ? "\n" : "") << "Received " << rx.FramesReceived() << " frames, stored "
              << rx.FramesStored() << ", in " << seconds << " s; " << view.statusChanges << " status changes";
    if (rx.StatusLinesLost() > 0)
        std::cerr << " (" << rx.StatusLinesLost() << " not in the status log)";
    std::cerr << "; " << events.connectionsLost << " connection losses; " << silences << "; " << f.droppedBytes
              << " bytes dropped, "
              << (f.lineErrors.Counted ? std::to_string(f.lineErrors.Total()) : std::string("no")) << " line errors"
              << "; files in " << paths.LogDir << "\n";
    if (publisher) {
        // Sends what is still queued (briefly), then "offline".
        const std::int64_t queued = publisher->FramesQueued();
        const std::int64_t lost = publisher->MessagesLost();
        session.PublishTo(nullptr);
        std::cerr << "MQTT: " << queued << " frames published, " << lost << " messages lost (queue full)\n";
    }
    // A frame or status line that did not reach the disk is a failed recording.
    const std::int64_t lost = rx.FramesReceived() - rx.FramesStored();
    if (lost > 0 || rx.StatusLinesLost() > 0) {
        std::cerr << "glowkite-cli: " << lost << " frames and " << rx.StatusLinesLost()
                  << " status lines were not stored\n";
        return 1;
    }
    return silenceFailed ? ExitSilence : 0;
}

// The replay's messages, for a terminal.
class ConsoleEvents : public TQuietReplayEvents {
public:
    void FrameFailed(std::string_view m) override { std::cerr << m << "\n"; }
    void Warning(std::string_view m) override { std::cerr << m << "\n"; }
};

int Export(TCliArgs &args)
{
    const std::string day = args.Positional("DAY.glow");
    const bool csv = args.Flag("--csv");
    const bool points = args.Flag("--points");
    const std::int32_t interval = static_cast<std::int32_t>(args.Integer("--interval", 60, 1, 1 << 30));
    const bool changesOnly = args.Flag("--changes-only");
    const TCsvStyle style = args.Flag("--excel") ? CsvExcelGerman : TCsvStyle{};
    const std::string outName = args.Value("-o", "");
    args.ExpectNoMore();
    if (csv == points)
        throw TCliError("export needs either --csv or --points");

    // Asked without opening: a FIFO named like a day file must not hold the
    // export inside open (TDayFile refuses what is not a regular file).
    std::error_code ec;
    if (!std::filesystem::exists(day, ec))
        throw std::runtime_error("Datei " + PrintableText(day) + " existiert nicht");
    std::ofstream file;
    if (!outName.empty()) {
        file.open(outName, std::ios::binary | std::ios::trunc);
        if (!file)
            throw std::runtime_error("Cannot create " + outName);
    }
    std::ostream &out = outName.empty() ? std::cout : file;

    const auto start = std::chrono::steady_clock::now();
    std::int64_t rows = 0;
    TBadLines skipped;
    if (csv) {
        rows = ExportFramesCsv(day, out, style, &skipped);
    } else {
        TMemoryView view;
        TMeasurementDecoder decoder(view, nullptr);
        decoder.Intervall = interval;
        decoder.AllData2Chart = !changesOnly;
        ConsoleEvents events;
        TDayReplay replay(decoder, events);
        replay.LoadFromFile(day);
        skipped = replay.Skipped();
        rows = ExportPointsCsv(view, out, style);
    }
    out.flush();
    if (!out)
        throw std::runtime_error("Cannot write " + (outName.empty() ? std::string("the output") : outName));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cerr << rows << " rows in " << seconds << " s\n";
    if (skipped.count == 0)
        return 0;
    // Every good row is written; the skipped lines make the export incomplete.
    if (csv)
        std::cerr << "glowkite-cli: " << skipped.Message(day, "exported") << "\n";
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        TCliArgs args(argc, argv);
        const std::string command = args.Command();
        if (command == "record")
            return Record(args);
        if (command == "simulate")
            return Simulate(args);
        if (command == "export")
            return Export(args);
        if (command == "--help" || command == "-h" || command == "help") {
            const ProgramPaths paths = SystemProgramPathsUncreated({});
            std::cout << Usage << "\n" << Help << "record writes into " << paths.LogDir
                      << " (--log-dir overrides), the folder the window uses; the exit code is 1\n"
                         "when a frame or a status line could not be stored.\n";
            return 0;
        }
        if (command == "--version" || command == "-v") {
            InitProgramInfo(OwnProgramPath());
            std::cout << "glowkite-cli " << VersionText() << "\n";
            return 0;
        }
        throw TCliError(command.empty() ? "no command given" : "unknown command: " + command);
    } catch (const TCliError &e) {
        std::cerr << "glowkite-cli: " << e.what() << "\n" << Usage;
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "glowkite-cli: " << e.what() << "\n";
        return 1;
    }
}
