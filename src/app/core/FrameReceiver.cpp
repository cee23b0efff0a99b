#include "app/core/FrameReceiver.h"

#include "app/core/FramePublisher.h"
#include "logging/LOGFile.h"

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
    buffer_[size_++] = b;

    // Step keeping: one byte is dropped per received byte until the start
    // marker stands at the front, so out of step the buffer holds a sliding
    // pair of the last two bytes.
    if (size_ >= 3 && !(buffer_[0] == FrameStart && buffer_[1] == FrameMark)) {
        std::memmove(buffer_.data(), buffer_.data() + 1, size_ - 1);
        --size_;
    }

    if (size_ >= FrameSize) {
        DetectProtocol();
        const std::span<const std::uint8_t> window(buffer_.data(), size_);
        if (TProtocol::Glowkite().MarkedIn(window) || TProtocol::GlowkitePlus().MarkedIn(window))
            HandleFrame();
        else if (size_ > RxBufferLimit)
            size_ = 0; // in step but never a valid frame: start over
    }
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
    if (OnFrame)
        OnFrame(window);
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
        decoder_.AddMeasurement(label, v.aq, v.flags, v.x, v.y, v.gain);
        decoder_.ShowCount();
    } catch (const std::exception &e) {
        // Dropped, not handled again one byte later: the next frame is
        // found by the step keeping as usual.
        size_ = 0;
        decoder_.ShowCount();
        ++dropped_;
        if (failure_ != e.what()) {
            failure_ = e.what();
            events_.FrameFailed(failure_);
        }
        return;
    }
    size_ = 0;
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
    if (dataLog_)
        dataLog_->WriteLine(line, lsNone);
    if (Publisher)
        Publisher->PublishFrame(line, TFrameWindow(window.data(), FrameSize), decoder_.Protocol());
}

} // namespace glowkite
