#include "app/core/FrameReceiver.h"

#include "app/core/FramePublisher.h"
#include "logging/LOGFile.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace glowkite {

TFrameReceiver::TFrameReceiver(TMeasurementDecoder &decoder, TLogFile *dataLog, IFrameEvents &events,
                               Clock clock)
    : decoder_(decoder), dataLog_(dataLog), events_(events), clock_(std::move(clock))
{
    CurrentDay = DateTimeText(clock_()).substr(0, 10);
}

void TFrameReceiver::CommRxCharEvent(IByteSource &source)
{
    std::uint8_t b;
    while (source.ReadChar(b))
        Receive(b);
}

void TFrameReceiver::Receive(std::uint8_t b)
{
    if (pendingStart_) {
        pendingStart_ = false;
        if (size_ == 0 && b == FrameMark) {
            buffer_[size_++] = FrameStart;
            reused_ = 1;
        }
    }
    buffer_[size_++] = b;

    // Step keeping: one byte is dropped per received byte until the start
    // marker stands at the front, so out of step the buffer holds a sliding
    // pair of the last two bytes.
    if (size_ >= 3 && !(buffer_[0] == FrameStart && buffer_[1] == FrameMark))
        DropFront(1);

    while (size_ >= FrameSize) {
        DetectProtocol();
        const std::span<const std::uint8_t> window(buffer_.data(), size_);
        if (TProtocol::Glowkite().MarkedIn(window) || TProtocol::GlowkitePlus().MarkedIn(window)) {
            HandleFrame();
            return;
        }
        // In step but no mark: a damaged frame (cut short, a byte lost or
        // added, its mark corrupted). The next frame may have begun inside
        // it; waiting for the buffer to overflow would lose that frame and
        // the ones after it. Only the newest pair can be a new marker once
        // the window has been searched.
        const std::size_t next = FindMarker(size_ == FrameSize ? 1 : size_ - 2);
        if (next < size_) {
            DropFront(next);
            continue;
        }
        if (size_ > RxBufferLimit)
            DropFront(size_); // in step but never a valid frame: start over
        return;
    }
}

void TFrameReceiver::DropFront(std::size_t n)
{
    const std::size_t reused = std::min(n, reused_);
    reused_ -= reused;
    counters_.droppedBytes += static_cast<std::int64_t>(n - reused);
    std::memmove(buffer_.data(), buffer_.data() + n, size_ - n);
    size_ -= n;
}

std::size_t TFrameReceiver::FindMarker(std::size_t from) const
{
    for (std::size_t p = from; p + 1 < size_; ++p)
        if (buffer_[p] == FrameStart && buffer_[p + 1] == FrameMark)
            return p;
    return size_;
}

void TFrameReceiver::KeepTail()
{
    // A frame cut short or missing a byte behind its mark still has its
    // mark and is handled; the next frame then began inside its last bytes.
    // They are kept as the start of the next window: when they were the
    // frame's own data, that window has no mark and is dropped up to the
    // next marker, so nothing is lost either way.
    // Behind the first mark: a window with both marks may be an old frame
    // cut short whose successor's 0xA1 stands at offset 19.
    const std::size_t last = FrameSize - 1;
    std::size_t p = (buffer_[GlowkiteLayout.mark] == FrameMark ? GlowkiteLayout.mark : GlowkitePlusLayout.mark) + 1;
    while (p < last && !(buffer_[p] == FrameStart && buffer_[p + 1] == FrameMark))
        ++p;
    if (p < last) {
        std::memmove(buffer_.data(), buffer_.data() + p, FrameSize - p);
        size_ = FrameSize - p;
        reused_ = size_;
        return;
    }
    size_ = 0;
    reused_ = 0;
    pendingStart_ = buffer_[last] == FrameStart;
}

void TFrameReceiver::DetectProtocol()
{
    // At most one switch per window; a window with both marks switches
    // every time it comes.
    const TProtocol other = decoder_.Protocol().Other();
    if (other.MarkedIn(std::span<const std::uint8_t>(buffer_.data(), size_))) {
        decoder_.GlowkiteVersion = other.GlowkiteVersion();
        events_.ShowProtocol();
        events_.ProtocolSwitched(other.SwitchMessage());
    }
}

void TFrameReceiver::HandleFrame()
{
    const TFrameWindow window(buffer_.data(), FrameSize);
    ++counters_.frames;
    if (OnFrame)
        OnFrame(window);
    const std::int64_t storedBefore = stored_;
    try {
        // One clock reading gives both the label and the stamp of the stored
        // line, so a replay of the day file shows the labels the live chart had.
        const std::string label = DateTimeText(clock_());
        const std::string_view day = std::string_view(label).substr(0, 10);
        if (day != CurrentDay) {
            decoder_.ClearData();
            CurrentDay.assign(day);
        }
        ShowRxFrame(label, window);
        const TFrameValues v = decoder_.Protocol().Values(window);
        counters_.lastFlags = v.flags;
        const std::int64_t logged = decoder_.StatusLinesLogged;
        try {
            decoder_.AddMeasurement(label, v.aq, v.flags, v.x, v.y, v.gain);
        } catch (const EStatusLogError &e) {
            // The frame is stored and plotted; only its status line is
            // missing from the log. Not a lost frame.
            ++statusLost_;
            ++statusRunLost_;
            if (statusFailure_ != e.what()) {
                statusFailure_ = e.what();
                events_.StatusLogFailed(e.File(), statusFailure_);
            }
        }
        if (decoder_.StatusLinesLogged != logged && !statusFailure_.empty()) {
            const std::int64_t lost = statusRunLost_;
            statusFailure_.clear();
            statusRunLost_ = 0;
            events_.StatusLogResumed(lost);
        }
        decoder_.ShowCount();
    } catch (const std::exception &e) {
        // Dropped, not handled again one byte later: the next frame is
        // found by the step keeping as usual.
        KeepTail();
        decoder_.ShowCount();
        if (stored_ == storedBefore)
            ++dropped_;
        if (failure_ != e.what()) {
            failure_ = e.what();
            events_.FrameFailed(failure_);
        }
        return;
    }
    KeepTail();
    if (!failure_.empty()) {
        const std::int64_t dropped = dropped_;
        failure_.clear();
        dropped_ = 0;
        events_.FramesResumed(dropped);
    }
    events_.FrameHandled();
}

void TFrameReceiver::ShowRxFrame(std::string_view dateTime, std::span<const std::uint8_t> window)
{
    const std::string line = RxLine(dateTime, window);
    decoder_.View().AppendHexLine(line);
    if (dataLog_) {
        dataLog_->WriteLine(line, lsNone);
        ++stored_;
    }
    if (Publisher)
        Publisher->PublishFrame(line, TFrameWindow(window.data(), FrameSize), decoder_.Protocol());
}

} // namespace glowkite
