// The frame receiver fed an arbitrary byte stream in arbitrary chunks.
//
// Input: one byte of settings (bit 0: the protocol in force at the start,
// bits 1-7: the seed of the chunking), then the received byte stream.
//
// Checked: the buffer never holds more than 80 bytes after a byte has been
// handled; out of step it holds at most the last two bytes; every handled
// window is the 25-byte buffer, begins with 0x00 0xA1, has 0xA1 at offset 17
// or 19 and is the last 25 bytes received; after it the buffer holds at
// most the frame's bytes from a start marker behind its first mark (the next
// frame may have begun there); its RX line is shown; the five
// series stay level; and the same stream cut into other receive events gives
// the same windows, switches and display.

#include "FuzzSupport.h"

#include "app/core/FrameReceiver.h"
#include "app/core/MemoryView.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

using namespace glowkite;
using glowkite::fuzz::Escaped;

namespace {

using Window = std::array<std::uint8_t, FrameSize>;

struct Events : IFrameEvents {
    int switches = 0;
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override { ++switches; }
    // Without a data log nothing on the frame path can fail.
    void FrameFailed(std::string_view message) override
    {
        FUZZ_CHECK(false, "frame failed: " + std::string(message));
    }
};

// Hands out the stream in receive events of a given size.
class ChunkSource : public IByteSource {
public:
    explicit ChunkSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool ReadChar(std::uint8_t &ch) override
    {
        if (allowed_ == 0 || pos_ == bytes_.size())
            return false;
        ch = bytes_[pos_++];
        --allowed_;
        return true;
    }
    void Allow(std::size_t n) { allowed_ = n; }
    bool Done() const { return pos_ == bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    std::size_t allowed_ = 0;
};

bool Equal(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::string Hex(std::span<const std::uint8_t> bytes)
{
    return RxLine("", bytes).substr(6);
}

struct Run {
    TMemoryView view;
    TMeasurementDecoder decoder{view, nullptr};
    Events events;
    int clockCalls = 0;
    // One second per reading, starting 20 s before midnight: longer streams
    // cross a day change, which clears the display.
    Clock clock = [this] {
        const int t = 86380 + clockCalls++;
        return LocalTime{2012, 3, 5 + t / 86400, t % 86400 / 3600, t % 3600 / 60, t % 60, 0};
    };
    TFrameReceiver receiver{decoder, nullptr, events, clock};
    std::vector<Window> windows;

    explicit Run(bool glowkiteVersion)
    {
        decoder.GlowkiteVersion = glowkiteVersion;
        receiver.OnFrame = [this](std::span<const std::uint8_t, FrameSize> w) {
            const auto buffer = receiver.RxBuffer();
            FUZZ_CHECK(w.data() == buffer.data() && buffer.size() == FrameSize,
                       "handled window is not the 25-byte buffer: " + Hex(buffer));
            FUZZ_CHECK(w[0] == 0x00 && w[1] == 0xA1, "window without start marker: " + Hex(w));
            FUZZ_CHECK(w[17] == 0xA1 || w[19] == 0xA1, "window without protocol mark: " + Hex(w));
            Window copy;
            std::copy(w.begin(), w.end(), copy.begin());
            windows.push_back(copy);
        };
    }

    void CheckSeriesLevel() const
    {
        const int n = view.PointCount(TSeries::AQ);
        for (int s = 1; s < SeriesCount; ++s)
            FUZZ_CHECK(view.PointCount(static_cast<TSeries>(s)) == n, "series of different lengths");
    }

    // What another chunking must reproduce.
    bool SameAs(const Run &o) const
    {
        return windows == o.windows && events.switches == o.events.switches &&
               decoder.GlowkiteVersion == o.decoder.GlowkiteVersion && view.hexLines == o.view.hexLines &&
               view.statusLines == o.view.statusLines &&
               view.PointCount(TSeries::AQ) == o.view.PointCount(TSeries::AQ) &&
               Equal(receiver.RxBuffer(), o.receiver.RxBuffer());
    }
};

// Byte by byte, with the checks that need to see every step.
void FeedBytewise(Run &run, std::span<const std::uint8_t> stream)
{
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const std::size_t framesBefore = run.windows.size();
        run.receiver.Receive(stream[i]);
        const auto buffer = run.receiver.RxBuffer();
        FUZZ_CHECK(buffer.size() <= RxBufferLimit, "buffer of " + std::to_string(buffer.size()) + " bytes");
        FUZZ_CHECK(buffer.size() < 3 || (buffer[0] == 0x00 && buffer[1] == 0xA1),
                   "out of step with more than two bytes: " + Hex(buffer));
        // A buffer in step holds the last bytes received, unchanged.
        FUZZ_CHECK(buffer.size() <= i + 1 && Equal(buffer, stream.subspan(i + 1 - buffer.size(),
                                                                                        buffer.size())),
                   "buffer is not the tail of the stream: " + Hex(buffer));
        if (run.windows.size() != framesBefore) {
            FUZZ_CHECK(run.windows.size() == framesBefore + 1, "two windows from one byte");
            FUZZ_CHECK(i + 1 >= FrameSize && Equal(run.windows.back(),
                                                                 stream.subspan(i + 1 - FrameSize, FrameSize)),
                       "window is not the last 25 bytes received");
            // What may be the next frame's start, from a marker behind the
            // frame's mark on, is kept; nothing else.
            const std::size_t mark = run.windows.back()[17] == 0xA1 ? 17 : 19; // the first mark
            FUZZ_CHECK(buffer.empty() || (buffer.size() < FrameSize - mark &&
                                          Equal(buffer, std::span<const std::uint8_t>(run.windows.back())
                                                            .subspan(FrameSize - buffer.size())) &&
                                          buffer[0] == 0x00 && buffer[1] == 0xA1),
                       "after a frame the buffer holds more than a start behind its mark: " + Hex(buffer));
            FUZZ_CHECK(!run.view.hexLines.empty(), "frame without RX line");
            const std::string &line = run.view.hexLines.back();
            FUZZ_CHECK(line.size() == 100 && line.substr(19) == RxLine("", run.windows.back()),
                       "RX line does not show the window: " + Escaped(line));
        }
        run.CheckSeriesLevel();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::TFuzzInput input(data, size);
    const std::uint8_t settings = input.Byte();
    const std::string_view rest = input.Rest();
    const std::span<const std::uint8_t> stream(reinterpret_cast<const std::uint8_t *>(rest.data()), rest.size());
    const bool glowkiteVersion = settings & 1;

    Run bytewise(glowkiteVersion);
    FeedBytewise(bytewise, stream);

    Run whole(glowkiteVersion);
    {
        ChunkSource source(stream);
        source.Allow(stream.size());
        whole.receiver.CommRxCharEvent(source);
        FUZZ_CHECK(source.Done(), "receive event stopped before the source was empty");
    }
    FUZZ_CHECK(whole.SameAs(bytewise), "one receive event gives other windows than byte by byte");

    // Events of 0 to 40 bytes, sizes from a small generator seeded by the input.
    Run chunked(glowkiteVersion);
    {
        ChunkSource source(stream);
        std::uint32_t state = 0x9E3779B9u ^ (settings >> 1) ^ static_cast<std::uint32_t>(stream.size() << 8);
        while (!source.Done()) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            source.Allow(state % 41);
            chunked.receiver.CommRxCharEvent(source);
            FUZZ_CHECK(chunked.receiver.RxBuffer().size() <= RxBufferLimit, "buffer overflow after an event");
        }
    }
    FUZZ_CHECK(chunked.SameAs(bytewise), "another chunking gives other windows");
    return 0;
}
