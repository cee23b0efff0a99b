#include "app/core/FrameReceiver.h"
#include "app/core/MemoryView.h"
#include "logging/LOGFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace glowkite;
using glowkite::test::ReadFile;
using glowkite::test::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

class VectorSource : public IByteSource {
public:
    explicit VectorSource(Bytes b) : bytes_(std::move(b)) {}
    bool ReadChar(std::uint8_t &ch) override
    {
        if (pos_ >= bytes_.size())
            return false;
        ch = bytes_[pos_++];
        return true;
    }

private:
    Bytes bytes_;
    std::size_t pos_ = 0;
};

struct Events : IFrameEvents {
    int showProtocol = 0, handled = 0;
    std::vector<std::string> switches, failures, statusLogFailures;
    std::vector<std::int64_t> resumed, statusLogResumed;
    void StatusLogFailed(std::string_view file, std::string_view m) override
    {
        statusLogFailures.push_back(std::string(file) + " | " + std::string(m));
    }
    void StatusLogResumed(std::int64_t lost) override { statusLogResumed.push_back(lost); }
    void ShowProtocol() override { ++showProtocol; }
    void FramesResumed(std::int64_t dropped) override { resumed.push_back(dropped); }
    void ProtocolSwitched(std::string_view m) override { switches.emplace_back(m); }
    void FrameFailed(std::string_view m) override { failures.emplace_back(m); }
    void FrameHandled() override { ++handled; }
};

// The worked example of the old protocol: AQ 42, flags 0x01, contamination
// 140, X 400, Y -200, the mark at offset 17.
Bytes OldFrame()
{
    Bytes f = {0x00, 0xA1, 0x2A, 0x01, 0x00, 0x8C, 0x00, 0x00, 0x00, 0x90, 0x01, 0x38, 0xFF,
               0x00, 0x00, 0x00, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    return f;
}

// A "glowkite +" frame: AQ 17, flags 0x02, contamination 163 at offset 6,
// X 115 at 10..11, Y -115 at 12..13, the mark at offset 19.
Bytes PlusFrame()
{
    Bytes f(FrameSize, 0x00);
    f[1] = 0xA1;
    f[2] = 17;
    f[3] = 0x02;
    f[6] = 163;
    f[10] = 115;
    f[11] = 0;
    f[12] = 0x8D; // -115 = 0xFF8D
    f[13] = 0xFF;
    f[19] = 0xA1;
    return f;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Rig {
    TempDir dir;
    LocalTime now{2012, 3, 5, 14, 7, 9, 0};
    Clock clock = [this] { return now; };
    TMemoryView view;
    TLogFile dataLog{clock};
    TLogFile statusLog{clock};
    TMeasurementDecoder decoder{view, &statusLog};
    Events events;
    TFrameReceiver receiver{decoder, &dataLog, events, clock};
    std::vector<Bytes> windows;

    Rig()
    {
        decoder.Intervall = 1; // every frame plotted, so counts follow frames
        for (TLogFile *log : {&dataLog, &statusLog}) {
            log->Directory = dir.path().string() + "/LOG/";
            log->SetOptions(loTimeMs);
        }
        dataLog.BaseName = "glowkite";
        dataLog.Extension = "glow";
        dataLog.SetPeriod(lpDay);
        statusLog.BaseName = "glowKite";
        statusLog.Extension = "log";
        statusLog.SetPeriod(lpMonth);
        receiver.OnFrame = [this](std::span<const std::uint8_t, FrameSize> w) {
            windows.emplace_back(w.begin(), w.end());
        };
    }

    void Feed(const Bytes &b)
    {
        VectorSource src(b);
        receiver.CommRxCharEvent(src);
    }
    int Count() const { return view.PointCount(TSeries::Status); }
    std::string DayFile() const { return ReadFile(dir / "LOG/glowkite_120305.glow"); }
};

} // namespace

TEST(RxLine, HundredCharactersWithEveryByteAtItsColumn)
{
    Bytes f = OldFrame();
    f[24] = 0xFF;
    const std::string line = RxLine("05.03.2012 14:07:09", f);
    ASSERT_EQ(line.size(), 100u);
    EXPECT_EQ(line.substr(0, 25), "05.03.2012 14:07:09  RX: ");
    EXPECT_EQ(line.substr(25, 6), "00 A1 ");
    EXPECT_EQ(line.substr(97), "FF ");
    for (std::size_t k = 0; k < FrameSize; ++k) // byte k at 1-based columns 26+3k, 27+3k
        EXPECT_EQ(line.substr(25 + 3 * k, 2), ByteToHex(f[k])) << k;
}

TEST(FrameValues, LayoutsOfBothProtocols)
{
    const Bytes o = OldFrame();
    const TFrameValues old = FrameValues(std::span<const std::uint8_t, FrameSize>(o.data(), FrameSize), true);
    EXPECT_EQ(old.aq, 42);
    EXPECT_EQ(old.flags, 1);
    EXPECT_EQ(old.gain, 140);
    EXPECT_EQ(old.x, 400);
    EXPECT_EQ(old.y, -200); // 0x38 0xFF, low byte first

    const Bytes p = PlusFrame();
    const TFrameValues plus = FrameValues(std::span<const std::uint8_t, FrameSize>(p.data(), FrameSize), false);
    EXPECT_EQ(plus.aq, 17);
    EXPECT_EQ(plus.flags, 2);
    EXPECT_EQ(plus.gain, 163);
    EXPECT_EQ(plus.x, 115);
    EXPECT_EQ(plus.y, -115);
}

TEST(FrameReceiver, AFrameReachesThePaneTheDayFileAndTheChart)
{
    Rig r;
    r.decoder.GlowkiteVersion = true;
    r.Feed(OldFrame());
    ASSERT_EQ(r.view.hexLines.size(), 1u);
    const std::string line = r.view.hexLines[0];
    EXPECT_EQ(line, RxLine("05.03.2012 14:07:09", OldFrame()));
    EXPECT_EQ(r.DayFile(), line + "\r\n");
    EXPECT_EQ(r.Count(), 1);
    EXPECT_EQ(r.view.Series(TSeries::AQ).Value(0), 42);
    EXPECT_EQ(r.view.Series(TSeries::AQ).Label(0), "05.03.2012 14:07:09");
    EXPECT_EQ(r.view.Series(TSeries::XPos).Value(0), 5.0);
    EXPECT_EQ(r.view.Series(TSeries::YPos).Value(0), -2.5);
    EXPECT_EQ(r.view.Series(TSeries::Gain).Value(0), 1);
    EXPECT_EQ(r.view.countText, "Anzahl der Messwerte: 1");
    EXPECT_TRUE(r.events.switches.empty());
    EXPECT_TRUE(r.receiver.RxBuffer().empty());
}

TEST(FrameReceiver, StepKeepingFindsTheMarkerAcrossEventsAndDropsNoise)
{
    Rig r;
    r.decoder.GlowkiteVersion = true;
    const Bytes frame = OldFrame();
    // Noise, then the marker split across two receive events.
    r.Feed({0x13, 0xA1, 0x55, 0x00});
    EXPECT_LE(r.receiver.RxBuffer().size(), 2u);
    r.Feed(Bytes(frame.begin() + 1, frame.end()));
    EXPECT_EQ(r.windows.size(), 1u);
    EXPECT_EQ(r.windows[0], frame);

    // 0x00 0x00 0xA1: in step at the second zero byte.
    r.Feed(Concat({{0x00}, frame}));
    ASSERT_EQ(r.windows.size(), 2u);
    EXPECT_EQ(r.windows[1], frame);

    // Bytes after the 25th of a frame are dropped until the next marker.
    r.Feed(Concat({frame, {0x11, 0x22, 0xA1}, frame}));
    EXPECT_EQ(r.windows.size(), 4u);
    EXPECT_EQ(r.Count(), 4);
}

TEST(FrameReceiver, SwitchesProtocolAndDecodesTheSameWindowWithTheNewLayout)
{
    Rig r; // "glowkite +" in force
    r.Feed(OldFrame());
    ASSERT_EQ(r.events.switches.size(), 1u);
    EXPECT_EQ(r.events.switches[0], "Protokoll glowkite erkannt\r\nUmgeschaltet auf glowkite Protokoll");
    EXPECT_TRUE(r.decoder.GlowkiteVersion);
    EXPECT_EQ(r.events.showProtocol, 1);
    EXPECT_EQ(r.view.Series(TSeries::XPos).Value(0), 5.0); // old layout and scale
    EXPECT_EQ(r.view.Series(TSeries::Gain).Value(0), 1);

    r.Feed(PlusFrame());
    ASSERT_EQ(r.events.switches.size(), 2u);
    EXPECT_EQ(r.events.switches[1], "Protokoll glowkite + erkannt \r\nUmgeschaltet auf glowkite + Protokoll");
    EXPECT_FALSE(r.decoder.GlowkiteVersion);
    EXPECT_EQ(r.view.Series(TSeries::AQ).Value(1), 17);
    EXPECT_EQ(r.view.Series(TSeries::XPos).Value(1), 5.0);  // 115 in the "+" scale
    EXPECT_EQ(r.view.Series(TSeries::YPos).Value(1), -5.0);
    EXPECT_EQ(r.view.Series(TSeries::Gain).Value(1), 4);    // 163 -> 3.5 -> 4

    // Frames of the protocol in force switch nothing.
    r.Feed(Concat({PlusFrame(), PlusFrame()}));
    EXPECT_EQ(r.events.switches.size(), 2u);
    EXPECT_EQ(r.Count(), 4);
}

TEST(FrameReceiver, AWindowWithBothMarksSwitchesEveryTime)
{
    Rig r;
    Bytes both = OldFrame();
    both[19] = 0xA1;
    r.Feed(both); // "+" in force: offset 17 switches to the old protocol
    EXPECT_TRUE(r.decoder.GlowkiteVersion);
    r.Feed(both); // old in force: offset 19 switches to "+"
    EXPECT_FALSE(r.decoder.GlowkiteVersion);
    r.Feed(both);
    EXPECT_TRUE(r.decoder.GlowkiteVersion);
    EXPECT_EQ(r.events.switches.size(), 3u);
    EXPECT_EQ(r.Count(), 3);
}

TEST(FrameReceiver, AWindowWithoutMarkIsDiscardedAtThe81stByte)
{
    Rig r;
    Bytes noMark(FrameSize, 0x00);
    noMark[1] = 0xA1;
    r.Feed(noMark);
    EXPECT_EQ(r.receiver.RxBuffer().size(), 25u);
    EXPECT_TRUE(r.view.hexLines.empty());
    r.Feed(Bytes(80 - 25, 0x33));
    EXPECT_EQ(r.receiver.RxBuffer().size(), 80u);
    r.Feed({0x33}); // the 81st byte
    EXPECT_EQ(r.receiver.RxBuffer().size(), 0u);
    EXPECT_TRUE(r.view.hexLines.empty());
    EXPECT_EQ(r.Count(), 0);
    r.Feed(PlusFrame()); // the next frame is found again
    EXPECT_EQ(r.Count(), 1);
}

TEST(FrameReceiver, TheFirstFrameOfANewDayEmptiesTheDisplayFirst)
{
    Rig r;
    r.Feed(Concat({PlusFrame(), PlusFrame(), PlusFrame()}));
    EXPECT_EQ(r.view.hexLines.size(), 3u);
    r.now = {2012, 3, 6, 0, 0, 0, 5};
    r.Feed(PlusFrame());
    EXPECT_EQ(r.receiver.CurrentDay, "06.03.2012");
    ASSERT_EQ(r.view.hexLines.size(), 1u);
    EXPECT_EQ(r.view.hexLines[0].substr(0, 19), "06.03.2012 00:00:00"); // midnight keeps the time
    EXPECT_EQ(r.Count(), 1);
    EXPECT_EQ(r.view.countText, "Anzahl der Messwerte: 1");
    EXPECT_TRUE(r.view.statusLines.empty()); // the status did not change
    EXPECT_EQ(ReadFile(r.dir / "LOG/glowkite_120306.glow"), r.view.hexLines[0] + "\r\n");
    EXPECT_EQ(r.DayFile().size(), 3u * 102u);
}

TEST(FrameReceiver, AFrameThatCannotBeStoredIsReportedAndDropped)
{
    Rig r;
    r.dataLog.Directory = r.dir.path().string() + "/no/such/LOG/";
    r.Feed(Concat({PlusFrame(), PlusFrame(), PlusFrame()}));
    ASSERT_EQ(r.events.failures.size(), 1u); // told once, not once per frame
    EXPECT_NE(r.events.failures[0].find("Cannot create"), std::string::npos);
    EXPECT_EQ(r.Count(), 0); // dropped: not plotted
    EXPECT_TRUE(r.receiver.RxBuffer().empty());
    EXPECT_EQ(r.windows.size(), 3u); // each handled once, not again one byte later
    EXPECT_TRUE(r.events.resumed.empty());
    EXPECT_EQ(r.events.handled, 0) << "a dropped frame is not handled";

    r.dataLog.Directory = r.dir.path().string() + "/LOG/";
    r.Feed(Concat({PlusFrame(), PlusFrame()}));
    EXPECT_EQ(r.Count(), 2);
    EXPECT_EQ(r.DayFile().size(), 2 * 102u);
    EXPECT_EQ(r.events.resumed, (std::vector<std::int64_t>{3}));
    EXPECT_EQ(r.events.handled, 2);

    // A new run of failures is told again.
    r.dataLog.Directory = r.dir.path().string() + "/gone/LOG/";
    r.Feed(PlusFrame());
    EXPECT_EQ(r.events.failures.size(), 2u);
    // Received and stored are counted apart: 6 came, 2 reached the day file.
    EXPECT_EQ(r.receiver.FramesReceived(), 6);
    EXPECT_EQ(r.receiver.FramesStored(), 2);
}

TEST(FrameReceiver, AStatusLogThatCannotBeWrittenLosesNoFrame)
{
    Rig r;
    // The day file is fine; the status log's folder cannot be created.
    r.statusLog.Directory = r.dir.path().string() + "/no/such/LOG/";
    Bytes alarm = PlusFrame();
    alarm[3] = 0x01;
    Bytes normal = PlusFrame();
    normal[3] = 0x00;
    r.Feed(Concat({alarm, alarm, normal, normal, alarm}));
    EXPECT_TRUE(r.events.failures.empty()) << "no frame failed";
    EXPECT_TRUE(r.events.resumed.empty());
    ASSERT_EQ(r.events.statusLogFailures.size(), 1u) << "told once for the run";
    EXPECT_EQ(r.events.statusLogFailures[0],
              r.dir.path().string() + "/no/such/LOG/glowKite_1203.log | Cannot create " + r.dir.path().string() +
                  "/no/such/LOG/");
    EXPECT_EQ(r.Count(), 5);
    EXPECT_EQ(r.DayFile().size(), 5 * 102u);
    EXPECT_EQ(r.events.handled, 5);
    EXPECT_EQ(r.receiver.FramesStored(), 5);
    EXPECT_EQ(r.receiver.StatusLinesLost(), 3);

    r.statusLog.Directory = r.dir.path().string() + "/LOG/";
    r.Feed(Concat({normal, normal}));
    EXPECT_EQ(r.events.statusLogResumed, (std::vector<std::int64_t>{3}));
    EXPECT_EQ(ReadFile(r.dir / "LOG/glowKite_1203.log").substr(19), "  00   Normal\r\n");
}

TEST(FrameReceiver, ChunkingDoesNotChangeTheFrames)
{
    // Frames of both protocols with garbage between them, fed whole and in
    // random chunks: the same windows come out, every one valid.
    std::mt19937 rng(3);
    Bytes stream;
    for (int i = 0; i < 300; ++i) {
        const Bytes f = i % 7 == 3 ? OldFrame() : PlusFrame();
        stream.insert(stream.end(), f.begin(), f.end());
        for (unsigned n = rng() % 6; n > 0; --n)
            stream.push_back(static_cast<std::uint8_t>(1 + rng() % 255)); // no false marker
    }
    Rig whole;
    whole.Feed(stream);
    Rig chunked;
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 40, stream.size() - pos);
        chunked.Feed(Bytes(stream.begin() + static_cast<long>(pos), stream.begin() + static_cast<long>(pos + n)));
        pos += n;
        EXPECT_LE(chunked.receiver.RxBuffer().size(), RxBufferLimit + 1);
    }
    EXPECT_GE(whole.windows.size(), 300u);
    EXPECT_EQ(whole.windows, chunked.windows);
    for (const Bytes &w : whole.windows) {
        ASSERT_EQ(w.size(), FrameSize);
        EXPECT_EQ(w[0], 0x00);
        EXPECT_EQ(w[1], 0xA1);
        EXPECT_TRUE(w[17] == 0xA1 || w[19] == 0xA1);
    }
    EXPECT_EQ(whole.DayFile(), chunked.DayFile());
}

namespace {

// Frame i of a run: AQ and byte 4 carry its number (never 0x00 or 0xA1), so
// every window tells which frame it was.
Bytes NumberedFrame(int i, bool old)
{
    Bytes f = old ? OldFrame() : PlusFrame();
    f[2] = static_cast<std::uint8_t>(1 + i % 150);
    f[4] = static_cast<std::uint8_t>(1 + i % 150);
    return f;
}

enum class Damage { CutShort, ByteDropped, ByteInserted, MarkCorrupted };

Bytes Damaged(Bytes f, Damage kind, std::size_t at)
{
    switch (kind) {
    case Damage::CutShort: f.resize(at); break;
    case Damage::ByteDropped: f.erase(f.begin() + static_cast<long>(at)); break;
    case Damage::ByteInserted: f.insert(f.begin() + static_cast<long>(at), 0x5A); break;
    case Damage::MarkCorrupted: f[at] = static_cast<std::uint8_t>(f[at] ^ 0x01); break;
    }
    return f;
}

} // namespace

TEST(FrameReceiver, NoGoodFrameAfterADamagedOneIsLost)
{
    // Frames 0-4, frame 5 damaged, frames 6-15: whatever the damage and
    // wherever it is, frames 6-15 are handled, stored and plotted, each once
    // and whole; so are 0-4.
    struct Case {
        Damage kind;
        std::size_t from, to; // damage positions tried
    };
    for (const bool old : {false, true}) {
        const std::size_t mark = old ? 17 : 19;
        for (const Case c : {Case{Damage::CutShort, 1, FrameSize - 1}, Case{Damage::ByteDropped, 0, FrameSize - 1},
                             Case{Damage::ByteInserted, 1, FrameSize}, Case{Damage::MarkCorrupted, mark, mark}}) {
            for (std::size_t at = c.from; at <= c.to; ++at) {
                // Cut short so that the next frame's 0xA1 lands on a mark
                // offset with its start marker before or on the mark: that
                // window is a valid frame by the protocol, and the next
                // frame's start cannot be told from the window's own bytes.
                if (c.kind == Damage::CutShort && (at == 16 || at == (old ? 2u : 18u)))
                    continue;
                Rig r;
                r.decoder.GlowkiteVersion = old;
                Bytes stream;
                for (int i = 0; i < 16; ++i) {
                    const Bytes f = i == 5 ? Damaged(NumberedFrame(i, old), c.kind, at) : NumberedFrame(i, old);
                    stream.insert(stream.end(), f.begin(), f.end());
                }
                r.Feed(stream);
                const std::string what = std::string(old ? "old" : "plus") + " damage " +
                                         std::to_string(static_cast<int>(c.kind)) + " at " + std::to_string(at);
                const std::string day = r.DayFile();
                for (int i = 0; i < 16; ++i) {
                    if (i == 5)
                        continue;
                    const Bytes good = NumberedFrame(i, old);
                    EXPECT_EQ(std::count(r.windows.begin(), r.windows.end(), good), 1) << what << ": frame " << i;
                    EXPECT_NE(day.find(RxLine("05.03.2012 14:07:09", good)), std::string::npos)
                        << what << ": frame " << i << " not on disk";
                }
                EXPECT_LE(r.windows.size(), 16u) << what;
                EXPECT_EQ(r.decoder.GlowkiteVersion, old) << what;
                EXPECT_EQ(r.Count(), static_cast<int>(r.windows.size())) << what;
                EXPECT_EQ(r.receiver.Counters().frames, static_cast<std::int64_t>(r.windows.size())) << what;
            }
        }
    }
}

TEST(FrameReceiver, CountsTheBytesDroppedOutsideFrames)
{
    Rig r;
    const Bytes f = PlusFrame();
    // 5 bytes before the first frame, 7 and 3 between frames.
    r.Feed(Concat({{0x11, 0x22, 0x33, 0x44, 0x55}, f, {1, 2, 3, 4, 5, 6, 7}, f, {0xA1, 0x42, 0x43}, f}));
    EXPECT_EQ(r.receiver.Counters().frames, 3);
    EXPECT_EQ(r.receiver.Counters().droppedBytes, 15);
    EXPECT_EQ(r.Count(), 3);

    // Frames back to back that end in 0x00, as most do: nothing dropped.
    r.Feed(Concat({f, f, f, f}));
    EXPECT_EQ(r.receiver.Counters().frames, 7);
    EXPECT_EQ(r.receiver.Counters().droppedBytes, 15);

    // A window without a mark and nothing after it: all 81 bytes go.
    Bytes noMark = f;
    noMark[19] = 0x00;
    r.Feed(Concat({noMark, Bytes(56, 0x33)}));
    EXPECT_TRUE(r.receiver.RxBuffer().empty());
    EXPECT_EQ(r.receiver.Counters().droppedBytes, 15 + 81);

    // A damaged frame ahead of a good one: its bytes are dropped, the good one kept.
    r.Feed(Concat({Bytes(noMark.begin(), noMark.begin() + 12), f}));
    EXPECT_EQ(r.receiver.Counters().frames, 8);
    EXPECT_EQ(r.receiver.Counters().droppedBytes, 15 + 81 + 12);
}
