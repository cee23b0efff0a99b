#pragma once
// The frame receiver: reads received bytes one at a time, keeps them in step
// with the detector's start marker 0x00 0xA1, detects which of the two frame
// protocols the detector speaks, and hands each 25-byte frame on: as an
// "RX: " line to the data pane and the daily data file, and as a
// measurement to the decoder.

#include "app/core/MeasurementDecoder.h"
#include "app/core/Protocol.h"
#include "base/Clock.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace glowkite {

class IFramePublisher;
class TLogFile;

// Where received bytes come from (the serial component, a test vector).
class IByteSource {
public:
    virtual ~IByteSource() = default;
    // True with one received byte; false at once when nothing is waiting.
    virtual bool ReadChar(std::uint8_t &ch) = 0;
};

// What the receiver tells the window besides the measurement view. None of
// these may block: reception goes on while a message is on screen.
class IFrameEvents {
public:
    virtual ~IFrameEvents() = default;
    virtual void ShowProtocol() = 0;
    // The detector switched protocol; message is the warning text.
    virtual void ProtocolSwitched(std::string_view message) = 0;
    // Handling a frame failed (e.g. the day file cannot be written); the
    // frame has been dropped. Told once per run of failures (again only when
    // the message changes), not once per frame.
    virtual void FrameFailed(std::string_view message) = 0;
    // Frames are handled again after a run of failures; `dropped` frames
    // were lost meanwhile.
    virtual void FramesResumed(std::int64_t dropped) { (void)dropped; }
    // A frame has been shown and stored (its day file exists now).
    virtual void FrameHandled() {}
    // The monthly status log `file` could not be written (message says
    // why); the frames themselves are stored. Told once per run of failures.
    virtual void StatusLogFailed(std::string_view file, std::string_view message)
    {
        (void)file;
        (void)message;
    }
    // A status line reached the status log again; `lost` lines are missing from it.
    virtual void StatusLogResumed(std::int64_t lost) { (void)lost; }
};

inline constexpr std::size_t RxBufferLimit = 80; // a longer buffer is discarded

// What the receiver has seen of the line since it was made.
struct TRxCounters {
    std::int64_t frames = 0;       // windows handled (stored or not)
    std::int64_t droppedBytes = 0; // bytes that were not part of any frame
    int lastFlags = -1;            // status flags of the last frame handled
};

class TFrameReceiver {
public:
    TFrameReceiver(TMeasurementDecoder &decoder, TLogFile *dataLog, IFrameEvents &events,
                   Clock clock = SystemClock);

    // Receive handler: reads until the source has no more bytes.
    void CommRxCharEvent(IByteSource &source);
    // One received byte (what CommRxCharEvent does per byte).
    void Receive(std::uint8_t b);

    // Emptied by the start of a recording.
    void ClearRxBuffer()
    {
        size_ = 0;
        reused_ = 0;
        pendingStart_ = false;
    }
    std::span<const std::uint8_t> RxBuffer() const { return {buffer_.data(), size_}; }
    const TRxCounters &Counters() const { return counters_; }

    // Frames received (every handled window) and stored (its line is in the
    // day file), since the receiver was made; status lines that did not
    // reach the status log.
    std::int64_t FramesReceived() const { return counters_.frames; }
    std::int64_t FramesStored() const { return stored_; }
    std::int64_t StatusLinesLost() const { return statusLost_; }

    // The first ten characters of the date-time text of the day shown.
    std::string CurrentDay;

    // Called with every handled window, before it is handled (for tests and
    // tools that watch the framing).
    std::function<void(std::span<const std::uint8_t, FrameSize>)> OnFrame;

    // Gets every frame once it is in the day file (none: null).
    IFramePublisher *Publisher = nullptr;

private:
    void DetectProtocol();
    void HandleFrame();
    // Drops the first n bytes of the buffer, counting those that were in no frame.
    void DropFront(std::size_t n);
    // The first start marker at or after `from`, or size_ when there is none.
    std::size_t FindMarker(std::size_t from) const;
    // After a frame: keeps what may be the start of the next one.
    void KeepTail();
    void ShowRxFrame(std::string_view dateTime, std::span<const std::uint8_t> window);

    TMeasurementDecoder &decoder_;
    TLogFile *dataLog_;
    IFrameEvents &events_;
    Clock clock_;
    std::array<std::uint8_t, RxBufferLimit + 1> buffer_{};
    std::size_t size_ = 0;
    // Leading bytes of the buffer that were part of a handled frame.
    std::size_t reused_ = 0;
    // The last frame ended in 0x00 behind its mark: with 0xA1 next, that
    // byte was the start of the next frame.
    bool pendingStart_ = false;
    TRxCounters counters_;
    std::string failure_;      // message of the current run of failures
    std::int64_t dropped_ = 0; // frames dropped in that run
    std::int64_t stored_ = 0;
    std::string statusFailure_;    // message of the current run of status log failures
    std::int64_t statusRunLost_ = 0; // status lines lost in that run
    std::int64_t statusLost_ = 0;
};

} // namespace glowkite
