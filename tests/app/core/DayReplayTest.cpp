#include "app/core/DayFiles.h"
#include "app/core/DayReplay.h"
#include "app/core/MemoryView.h"
#include "logging/LOGFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <random>

using namespace glowkite;
using glowkite::test::ReadFile;
using glowkite::test::TempDir;
using glowkite::test::WriteFile;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(bool old, std::uint8_t aq, std::uint8_t flags, std::int16_t x = 0, std::uint8_t gain = 128)
{
    Bytes f(FrameSize, 0);
    f[1] = 0xA1;
    f[2] = aq;
    f[3] = flags;
    const std::size_t s = old ? 0 : 1;
    f[5 + s] = gain;
    f[9 + s] = static_cast<std::uint8_t>(x & 0xFF);
    f[10 + s] = static_cast<std::uint8_t>((x >> 8) & 0xFF);
    f[old ? 17 : 19] = 0xA1;
    return f;
}

std::string Line(int second, const Bytes &f)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "05.03.2012 14:%02d:%02d", second / 60 % 60, second % 60);
    return RxLine(stamp, f);
}

struct Events : IReplayEvents {
    TMemoryView *view = nullptr;
    std::vector<std::string> warnings, switches;
    std::vector<int> pointsAtSwitch;
    std::int64_t maximum = -1, lastProgress = -1;
    int begins = 0, ends = 0, showProtocol = 0;
    std::vector<std::string> shownProtocols;
    std::function<void(std::int64_t)> onProgress;
    void ShowProtocol() override { ++showProtocol; }
    void ShowReplayedProtocol(TProtocol p) override { shownProtocols.emplace_back(p.Name()); }
    void ProtocolSwitched(std::string_view m) override
    {
        switches.emplace_back(m);
        pointsAtSwitch.push_back(view->PointCount(TSeries::AQ));
    }
    void FrameFailed(std::string_view) override {}
    void Warning(std::string_view m) override { warnings.emplace_back(m); }
    void BeginProgress(std::string_view, std::int64_t max) override
    {
        ++begins;
        maximum = max;
    }
    void Progress(std::int64_t n) override
    {
        lastProgress = n;
        if (onProgress)
            onProgress(n);
    }
    void EndProgress() override { ++ends; }
};

struct Rig {
    TempDir dir;
    TMemoryView view;
    TMeasurementDecoder decoder{view, nullptr};
    Events events;
    TDayReplay replay{decoder, events};
    Rig()
    {
        events.view = &view;
        decoder.Intervall = 1;
    }
    std::string Write(const std::vector<std::string> &lines, const char *eol = "\r\n")
    {
        std::string bytes;
        for (const auto &l : lines)
            bytes += l + eol;
        const std::string path = (dir / "glowkite_120305.glow");
        WriteFile(path, bytes);
        return path;
    }
};

} // namespace

TEST(ParseStoredLine, FieldsByColumnForBothProtocols)
{
    TStoredFrame f;
    std::string error;
    const std::string old = Line(9, Frame(true, 42, 0x01, -200, 140));
    ASSERT_TRUE(ParseStoredLine(old, f, error)) << error;
    EXPECT_EQ(f.label, "05.03.2012 14:00:09");
    EXPECT_TRUE(f.glowkiteVersion);
    EXPECT_EQ(f.aq, 42);
    EXPECT_EQ(f.flags, 1);
    EXPECT_EQ(f.x, -200);
    EXPECT_EQ(f.gain, 140);

    const std::string plus = Line(9, Frame(false, 7, 0x80, 115, 163));
    ASSERT_TRUE(ParseStoredLine(plus, f, error)) << error;
    EXPECT_FALSE(f.glowkiteVersion);
    EXPECT_EQ(f.x, 115);
    EXPECT_EQ(f.flags, 0x80);
    EXPECT_EQ(f.gain, 163);

    // A line cut after column 66 still holds every "glowkite +" field.
    const std::string cut = Line(9, Frame(false, 7, 0, -1, 5)).substr(0, 66);
    ASSERT_TRUE(ParseStoredLine(cut, f, error)) << error;
    EXPECT_FALSE(f.glowkiteVersion);
    EXPECT_EQ(f.x, -1);

    // Lower-case digits are hexadecimal digits too.
    std::string lower = Line(9, Frame(false, 0xAB, 0, 0, 0));
    lower[31] = 'a';
    lower[32] = 'b';
    ASSERT_TRUE(ParseStoredLine(lower, f, error));
    EXPECT_EQ(f.aq, 0xAB);
}

TEST(ParseStoredLine, ClearErrorsAndNoReadBeyondTheLine)
{
    TStoredFrame f;
    std::string error;
    EXPECT_FALSE(ParseStoredLine("", f, error));
    EXPECT_NE(error.find("ends before column"), std::string::npos);
    EXPECT_FALSE(ParseStoredLine("05.03.2012 14:07:09  RX: 00 A1 2A", f, error));
    std::string bad = Line(1, Frame(true, 1, 1));
    bad[34] = 'x'; // status flags at columns 35-36
    EXPECT_FALSE(ParseStoredLine(bad, f, error));
    EXPECT_NE(error.find("columns 35-36"), std::string::npos) << error;
    // Every prefix of a good line either parses or says where it ends. Cut
    // before the old generation's mark (columns 77-78) it is a "glowkite +"
    // line, whose fields end at column 66.
    const std::string good = Line(2, Frame(true, 3, 4, 5, 6));
    for (std::size_t n = 0; n <= good.size(); ++n) {
        std::string prefix = good.substr(0, n);
        prefix.shrink_to_fit();
        error.clear();
        const bool ok = ParseStoredLine(prefix, f, error);
        EXPECT_EQ(ok, n >= 66) << n;
        if (!ok) {
            EXPECT_NE(error.find("the line ends before column"), std::string::npos) << n << ": " << error;
            continue;
        }
        EXPECT_EQ(f.glowkiteVersion, n >= 78) << n;
        if (f.glowkiteVersion) {
            EXPECT_EQ(f.aq, 3);
            EXPECT_EQ(f.flags, 4);
            EXPECT_EQ(f.x, 5);
            EXPECT_EQ(f.gain, 6);
        }
    }
}

TEST(DayReplay, AMissingDayWarnsNamingTheFileAndLeavesTheDisplayEmpty)
{
    Rig r;
    r.view.AppendHexLine("old");
    r.view.AppendStatusLine("old");
    r.view.AppendPoint(TSeries::AQ, 1, "x", clAQ);
    const std::string missing = (r.dir / "glowkite_120305.glow");
    r.replay.LoadFromFile(missing);
    ASSERT_EQ(r.events.warnings.size(), 1u);
    EXPECT_EQ(r.events.warnings[0], "Datei " + missing + " existiert nicht");
    EXPECT_TRUE(r.view.hexLines.empty());
    EXPECT_TRUE(r.view.statusLines.empty());
    EXPECT_EQ(r.view.PointCount(TSeries::AQ), 0);
    EXPECT_EQ(r.events.begins, 0);
}

TEST(DayReplay, StartsWithNoHoldPointForWhatLiveDataLeftOut)
{
    Rig r;
    r.decoder.AllData2Chart = false; // changes only
    r.decoder.AddMeasurement("05.03.2012 13:00:00", 50, 0, 0, 0, 128);
    r.decoder.AddMeasurement("05.03.2012 13:00:01", 50, 0, 0, 0, 128); // left out
    ASSERT_FALSE(r.decoder.LastPlotted);
    r.replay.LoadFromFile(r.Write({Line(1, Frame(false, 7, 0))}));
    // A hold point of the live values would stand in front of the day's first.
    EXPECT_EQ(r.view.PointCount(TSeries::AQ), 1);
    EXPECT_EQ(r.view.PointCount(TSeries::Status), 1);
    EXPECT_FALSE(r.decoder.LastPlotted) << "the live state stays the live recording's";
}

TEST(DayReplay, AnEmptyDayShowsAndHidesTheProgress)
{
    Rig r;
    r.replay.LoadFromFile(r.Write({}));
    EXPECT_EQ(r.events.begins, 1);
    EXPECT_EQ(r.events.ends, 1);
    EXPECT_EQ(r.view.countText, "Anzahl der Messwerte: 0");
    EXPECT_TRUE(r.view.hexLines.empty());
}

TEST(DayReplay, HexPaneHoldsTheFileLinesAndTheProgressMaximumIsSizeDiv110)
{
    Rig r;
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i)
        lines.push_back(Line(i, Frame(false, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 30))));
    r.replay.LoadFromFile(r.Write(lines));
    EXPECT_EQ(r.events.maximum, 92); // 10200 bytes div 110
    EXPECT_EQ(r.events.lastProgress, 100);
    EXPECT_EQ(r.view.hexLines, lines);
    EXPECT_EQ(r.view.PointCount(TSeries::Status), 100);
    EXPECT_EQ(r.view.countText, "Anzahl der Messwerte: 100");
    EXPECT_EQ(r.view.statusLines.size(), 4u); // 0, 1, 2, 3
    EXPECT_TRUE(r.events.switches.empty());
    EXPECT_EQ(r.events.ends, 1);
}

TEST(DayReplay, OneWarningPerProtocolSwitchBeforeTheLineIsDecoded)
{
    Rig r; // "glowkite +" in force
    r.replay.LoadFromFile(r.Write({Line(1, Frame(true, 1, 0)), Line(2, Frame(true, 2, 0)), Line(3, Frame(true, 3, 0))}));
    ASSERT_EQ(r.events.switches.size(), 1u);
    EXPECT_EQ(r.events.switches[0], ProtocolOldMessage);
    EXPECT_EQ(r.events.pointsAtSwitch[0], 0);
    EXPECT_FALSE(r.decoder.GlowkiteVersion) << "the live receiver's protocol stays";
    EXPECT_EQ(r.events.shownProtocols.back(), "glowkite");

    Rig m;
    m.replay.LoadFromFile(m.Write({Line(1, Frame(false, 1, 0)), Line(2, Frame(true, 2, 0)), Line(3, Frame(true, 3, 0)),
                                   Line(4, Frame(false, 4, 0, 115))}));
    ASSERT_EQ(m.events.switches.size(), 2u);
    EXPECT_EQ(m.events.switches[0], ProtocolOldMessage);
    EXPECT_EQ(m.events.switches[1], ProtocolPlusMessage);
    EXPECT_EQ(m.events.pointsAtSwitch, (std::vector<int>{1, 3}));
    EXPECT_EQ(m.events.shownProtocols.back(), "glowkite +");
    EXPECT_EQ(m.view.Series(TSeries::XPos).Value(3), 5.0);
}

TEST(DayReplay, BadLinesAreSkippedAndReportedOnce)
{
    Rig r;
    const std::string path = r.Write({Line(1, Frame(false, 1, 0)), Line(2, Frame(false, 2, 0)),
                                      "05.03.2012 14:00:03  RX: garbage", Line(4, Frame(false, 4, 0)), "",
                                      Line(6, Frame(false, 6, 0))},
                                     "\n");
    r.replay.LoadFromFile(path);
    ASSERT_EQ(r.events.warnings.size(), 1u);
    EXPECT_EQ(r.events.warnings[0].rfind("2 lines of " + path + " cannot be replayed and were skipped; the first is line 3: ", 0), 0u)
        << r.events.warnings[0];
    EXPECT_EQ(r.replay.Skipped().count, 2);
    EXPECT_EQ(r.events.ends, 1);
    EXPECT_EQ(r.view.PointCount(TSeries::AQ), 4) << "the rest of the day is shown";
    EXPECT_EQ(r.view.hexLines.size(), 4u);
    EXPECT_EQ(r.view.countText, "Anzahl der Messwerte: 4");
}

TEST(DayReplay, ATruncatedLastLineReplaysEveryCompleteLine)
{
    Rig r;
    std::string bytes = Line(1, Frame(false, 1, 0)) + "\r\n" + Line(2, Frame(false, 2, 0)) + "\r\n";
    bytes += Line(3, Frame(false, 3, 0)).substr(0, 40); // cut by a power loss
    const std::string path = (r.dir / "cut.glow");
    WriteFile(path, bytes);
    r.replay.LoadFromFile(path);
    EXPECT_EQ(r.view.PointCount(TSeries::AQ), 2);
    EXPECT_EQ(r.replay.Skipped().first, 3);
}

TEST(DayReplay, CrLfLfAndCrLineEndsAndAByteOrderMark)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 30000; ++i) // several read blocks
        lines.push_back(Line(i, Frame(false, static_cast<std::uint8_t>(i % 100), 0)));
    for (const char *eol : {"\r\n", "\n", "\r"}) {
        Rig r;
        std::string bytes = "\xEF\xBB\xBF";
        for (const auto &l : lines)
            bytes += l + eol;
        WriteFile(r.dir / "d.glow", bytes);
        r.replay.LoadFromFile(r.dir / "d.glow");
        EXPECT_EQ(r.view.hexLines, lines) << "line end " << PrintableText(eol);
        EXPECT_TRUE(r.events.warnings.empty()) << r.events.warnings[0];
    }
}

TEST(DayReplay, AnOverlongLineIsOneBadLineAndNotKept)
{
    Rig r;
    const std::string good = Line(1, Frame(false, 1, 0));
    std::string bytes = good + "\r\n" + std::string(20 << 20, '0') + "\r\n" + good + "\r\n" + std::string(5000, 'A');
    WriteFile(r.dir / "d.glow", bytes);
    r.replay.LoadFromFile(r.dir / "d.glow");
    EXPECT_EQ(r.view.hexLines, (std::vector<std::string>{good, good}));
    EXPECT_EQ(r.replay.Skipped().count, 2);
    EXPECT_EQ(r.replay.Skipped().first, 2);
    ASSERT_EQ(r.events.warnings.size(), 1u);
    EXPECT_NE(r.events.warnings[0].find("longer than 4096 characters"), std::string::npos);
}

TEST(DayReplay, ANulByteDoesNotCutTheMessageShort)
{
    Rig r;
    std::string bad = Line(1, Frame(false, 1, 0));
    bad[31] = '\0';
    WriteFile(r.dir / "d.glow", bad + "\r\n");
    r.replay.LoadFromFile(r.dir / "d.glow");
    ASSERT_EQ(r.events.warnings.size(), 1u);
    const std::string m = EReplayError(r.events.warnings[0]).what(); // as an error box gets it
    EXPECT_NE(m.find("\"\\x001\", not a hexadecimal byte"), std::string::npos) << m;
}

#ifndef _WIN32 // FIFOs and /dev/zero
TEST(DayReplay, OnlyARegularFileIsADayFileAndNothingBlocks)
{
    Rig r;
    const std::string fifo = r.dir / "fifo.glow", folder = r.dir / "folder.glow", zero = r.dir / "zero.glow";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    std::filesystem::create_symlink("/dev/zero", zero);
    for (const std::string &f : {fifo, folder, zero}) {
        EXPECT_FALSE(IsDayFile(f)) << f;
        try {
            r.replay.LoadFromFile(f);
            ADD_FAILURE() << f << " replayed";
        } catch (const EReplayError &e) {
            EXPECT_EQ(std::string(e.what()), f + " is not a regular file");
        }
    }
    EXPECT_EQ(r.events.begins, 0);
}
#endif

TEST(DayReplay, TheLiveStateAndItsStatusLogStayTheLiveRecordings)
{
    // Live: "glowkite +", status 00, logging status changes. The replayed
    // day: "glowkite", status 01. During the replay the live status turns 01.
    TempDir dir;
    TLogFile statusLog([] { return LocalTime{2012, 3, 5, 15, 0, 0, 0}; });
    statusLog.Directory = dir.path().string() + "/";
    statusLog.BaseName = "glowKite";
    statusLog.Extension = "log";
    TMemoryView view;
    TMeasurementDecoder live(view, &statusLog);
    struct : IFrameEvents {
        void ShowProtocol() override {}
        void ProtocolSwitched(std::string_view m) override { liveSwitches.emplace_back(m); }
        void FrameFailed(std::string_view m) override { ADD_FAILURE() << m; }
        std::vector<std::string> liveSwitches;
    } liveEvents;
    TFrameReceiver receiver(live, nullptr, liveEvents, [] { return LocalTime{2012, 3, 5, 15, 0, 0, 0}; });
    auto liveFrame = [&](std::uint8_t flags) {
        for (std::uint8_t b : Frame(false, 5, flags))
            receiver.Receive(b);
    };
    liveFrame(0x00);

    Rig r;
    std::vector<std::string> day;
    for (int i = 0; i < 50; ++i)
        day.push_back(Line(i, Frame(true, 7, 0x01)));
    TDayReplay replay(live, r.events);
    replay.ProgressEvery = 1;
    r.events.onProgress = [&](std::int64_t n) { liveFrame(n >= 20 ? 0x01 : 0x00); };
    replay.LoadFromFile(r.Write(day));

    EXPECT_EQ(ReadFile(dir / "glowKite_1203.log"), "05.03.2012 15:00:00  00   Normal\r\n"
                                                   "05.03.2012 15:00:00  01   Alarm \r\n");
    EXPECT_FALSE(live.GlowkiteVersion);
    EXPECT_TRUE(liveEvents.liveSwitches.empty());
    EXPECT_EQ(live.LastStatus, 0x01);
    EXPECT_EQ(r.events.switches.size(), 1u);
    EXPECT_EQ(std::count(view.statusLines.begin(), view.statusLines.end(), "05.03.2012 14:00:00  01   Alarm "), 1)
        << "the replayed day's own status line";
}

TEST(DayReplay, LinesAcrossReadChunksAndWithoutAFinalLineEnd)
{
    Rig r;
    std::vector<std::string> lines;
    for (int i = 0; i < 12000; ++i) // about 1.2 MB: several read chunks
        lines.push_back(Line(i, Frame(i % 2 == 0, static_cast<std::uint8_t>(i % 120), 0)));
    std::string bytes;
    for (const auto &l : lines)
        bytes += l + "\r\n";
    bytes.resize(bytes.size() - 2);
    const std::string path = (r.dir / "big.glow");
    WriteFile(path, bytes);
    r.replay.LoadFromFile(path);
    EXPECT_EQ(r.view.hexLines, lines);
    EXPECT_EQ(r.view.PointCount(TSeries::AQ), 12000);
}

TEST(DayReplay, WritesNothingToTheStatusLog)
{
    Rig r;
    TLogFile statusLog([] { return LocalTime{2012, 3, 5, 15, 0, 0, 0}; });
    statusLog.Directory = r.dir.path().string() + "/LOG/";
    statusLog.BaseName = "glowKite";
    statusLog.Extension = "log";
    TMeasurementDecoder logged(r.view, &statusLog);
    TDayReplay replay(logged, r.events);
    replay.LoadFromFile(r.Write({Line(1, Frame(false, 1, 1)), Line(2, Frame(false, 1, 2))}));
    EXPECT_EQ(r.view.statusLines.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(r.dir / "LOG"));
    EXPECT_TRUE(logged.LogStatusChanges); // live frames are logged again afterwards
}

TEST(DayReplay, AReplayedDayLooksLikeTheLiveDay)
{
    // Frames received live and the day file they leave behind, replayed
    // under the same settings, give the same chart and status pane.
    TempDir dir;
    LocalTime now{2012, 3, 5, 10, 0, 0, 0};
    Clock clock = [&] { return now; };
    TLogFile dataLog(clock);
    dataLog.Directory = dir.path().string() + "/";
    dataLog.BaseName = "glowkite";
    dataLog.Extension = "glow";
    dataLog.SetPeriod(lpDay);

    struct NoEvents : IFrameEvents {
        void ShowProtocol() override {}
        void ProtocolSwitched(std::string_view) override {}
        void FrameFailed(std::string_view m) override { FAIL() << m; }
    } none;
    TMemoryView live;
    TMeasurementDecoder liveDecoder(live, nullptr);
    liveDecoder.AllData2Chart = false;
    TFrameReceiver receiver(liveDecoder, &dataLog, none, clock);
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        now.second = i % 60;
        now.minute = i / 60;
        const bool old = (i / 500) % 2 == 1;
        const Bytes f = Frame(old, static_cast<std::uint8_t>(20 + rng() % 3), static_cast<std::uint8_t>(rng() % 40 == 0),
                              static_cast<std::int16_t>(rng() % 800) - 400, static_cast<std::uint8_t>(rng()));
        for (std::uint8_t b : f)
            receiver.Receive(b);
    }

    Rig r;
    r.decoder.AllData2Chart = false;
    r.replay.LoadFromFile((dir / "glowkite_120305.glow"));
    for (int s = 0; s < SeriesCount; ++s) {
        const auto &a = live.Series(static_cast<TSeries>(s));
        const auto &b = r.view.Series(static_cast<TSeries>(s));
        ASSERT_EQ(a.Count(), b.Count());
        for (int i = 0; i < a.Count(); ++i) {
            ASSERT_EQ(a.Value(i), b.Value(i)) << s << " " << i;
            ASSERT_EQ(a.Label(i), b.Label(i));
            ASSERT_EQ(a.Color(i), b.Color(i));
        }
    }
    EXPECT_EQ(live.statusLines, r.view.statusLines);
    EXPECT_EQ(live.hexLines, r.view.hexLines);
}
