#include "app/core/LiveHealth.h"

#include <cmath>

namespace glowkite {

std::string SilenceBeganLine(std::string_view label, int timeout)
{
    return std::string(label) + "  keine Daten seit " + std::to_string(timeout) + " s";
}

std::string SilenceEndedLine(std::string_view label, double seconds)
{
    return std::string(label) + "  Daten wieder empfangen nach " + std::to_string(std::llround(seconds)) + " s";
}

TLiveHealth::TLiveHealth(ILiveHealthEvents &events, SteadyClock clock) : events_(events), clock_(std::move(clock))
{
}

void TLiveHealth::Start(const TRxCounters &rx)
{
    silent_ = false;
    silences_ = 0;
    silentTotal_ = {};
    lastFrames_ = rx.frames;
    droppedAtStart_ = rx.droppedBytes;
    lineBase_ = {};
    lineLast_ = {};
    lastFrame_ = clock_();
    // Frames that come before the first look count towards the rate.
    samples_.assign(1, {lastFrame_, rx.frames});
    figures_ = {};
}

void TLiveHealth::Watch(bool on)
{
    const SteadyTime now = clock_();
    if (on && !watching_)
        lastFrame_ = now; // the silence is counted from the moment frames can come
    if (!on && silent_)
        EndSilence(now);
    watching_ = on;
}

void TLiveHealth::EndSilence(SteadyTime now)
{
    silentTotal_ += now - lastFrame_;
    silent_ = false;
}

double TLiveHealth::SilentSeconds() const
{
    auto total = silentTotal_;
    if (silent_)
        total += clock_() - lastFrame_;
    return std::chrono::duration<double>(total).count();
}

void TLiveHealth::Update(const TRxCounters &rx, const TSerLineErrors &line)
{
    const SteadyTime now = clock_();

    if (rx.frames != lastFrames_) {
        lastFrames_ = rx.frames;
        if (silent_) {
            const double gap = std::chrono::duration<double>(now - lastFrame_).count();
            EndSilence(now);
            events_.SilenceEnded(gap);
        }
        lastFrame_ = now;
    } else if (watching_ && !silent_ && now - lastFrame_ >= std::chrono::seconds(EffectiveDatenTimeout(DatenTimeout))) {
        silent_ = true;
        ++silences_;
        events_.SilenceBegan(EffectiveDatenTimeout(DatenTimeout));
    }

    // The port's counters start from zero at each open (a reconnect, or
    // zero while it is closed): what they had counted is kept.
    const auto carry = [](std::uint64_t now, std::uint64_t &last, std::uint64_t &base) {
        if (now < last)
            base += last;
        last = now;
        return base + now;
    };
    TSerLineErrors &errors = figures_.lineErrors;
    errors.Framing = carry(line.Framing, lineLast_.Framing, lineBase_.Framing);
    errors.Parity = carry(line.Parity, lineLast_.Parity, lineBase_.Parity);
    errors.Overrun = carry(line.Overrun, lineLast_.Overrun, lineBase_.Overrun);
    errors.Break = carry(line.Break, lineLast_.Break, lineBase_.Break);
    lineBase_.Counted = lineBase_.Counted || line.Counted;
    errors.Counted = lineBase_.Counted;
    figures_.droppedBytes = rx.droppedBytes - droppedAtStart_;

    samples_.push_back({now, rx.frames});
    while (samples_.size() > 2 && now - samples_[1].time >= RateWindow)
        samples_.pop_front();
    const double span = std::chrono::duration<double>(now - samples_.front().time).count();
    figures_.framesPerSecond =
        span >= 0.5 ? static_cast<double>(rx.frames - samples_.front().frames) / span : 0.0;
}

} // namespace glowkite
