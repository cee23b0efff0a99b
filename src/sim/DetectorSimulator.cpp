#include "sim/DetectorSimulator.h"

#include <cmath>

namespace glowkite {

namespace {
// A status run: normal, alarm, alarm with fault, fault, then each other flag.
constexpr std::uint8_t StatusRun[] = {0x00, 0x01, 0x03, 0x02, 0x00, 0x04, 0x08, 0x10,
                                      0x20, 0x40, 0x80, 0x81, 0x00};
constexpr double Pi = 3.14159265358979323846;
} // namespace

TDetectorSimulator::TDetectorSimulator(const TSimOptions &options)
    : options_(options), rng_(options.seed), oldProtocol_(options.oldProtocol)
{
}

std::uint8_t TDetectorSimulator::NoiseByte()
{
    // Never 0x00: a zero followed by 0xA1 would be a start marker.
    return static_cast<std::uint8_t>(1 + rng_() % 255);
}

TSimFrame TDetectorSimulator::NextFrame()
{
    const std::int64_t n = frames_++;
    if (options_.switchProtocolAfter > 0 && n == options_.switchProtocolAfter)
        oldProtocol_ = !oldProtocol_;

    TSimFrame f;
    f.oldProtocol = oldProtocol_;
    f.aq = 20;
    if (options_.aqRamp) {
        const int phase = static_cast<int>(n % 280);
        f.aq = static_cast<std::uint8_t>(phase < 140 ? phase : 280 - phase);
    } else {
        f.aq = static_cast<std::uint8_t>(18 + rng_() % 5);
    }
    f.flags = options_.statusRun
                  ? StatusRun[(n / std::max(1, options_.framesPerStatus)) % std::size(StatusRun)]
                  : 0x00;
    f.contamination = options_.contamination >= 0
                          ? static_cast<std::uint8_t>(options_.contamination)
                          : static_cast<std::uint8_t>(128 + std::lround(30 * std::sin(2 * Pi * n / 900.0)));
    const double scale = oldProtocol_ ? 400.0 : 115.0; // raw units of 5 on the chart
    const double swing = options_.positionRamp ? 1.1 : 0.05;
    f.x = static_cast<std::int16_t>(std::lround(scale * swing * std::sin(2 * Pi * n / 300.0)));
    f.y = static_cast<std::int16_t>(std::lround(scale * swing * std::cos(2 * Pi * n / 410.0)));

    std::vector<std::uint8_t> &b = f.bytes;
    b.resize(25);
    // Bytes the window does not evaluate carry noise, but never a mark at
    // the other generation's offset.
    for (auto &byte : b)
        byte = static_cast<std::uint8_t>(rng_() % 0xA0);
    b[0] = 0x00;
    b[1] = 0xA1;
    b[2] = f.aq;
    b[3] = f.flags;
    const std::size_t s = oldProtocol_ ? 0 : 1;
    b[5 + s] = f.contamination;
    b[9 + s] = static_cast<std::uint8_t>(f.x & 0xFF);
    b[10 + s] = static_cast<std::uint8_t>((f.x >> 8) & 0xFF);
    b[11 + s] = static_cast<std::uint8_t>(f.y & 0xFF);
    b[12 + s] = static_cast<std::uint8_t>((f.y >> 8) & 0xFF);
    b[oldProtocol_ ? 17 : 19] = 0xA1;
    if (options_.bothMarksEvery > 0 && n % options_.bothMarksEvery == options_.bothMarksEvery - 1) {
        b[17] = 0xA1;
        b[19] = 0xA1;
    }
    return f;
}

void TDetectorSimulator::AppendNext(std::vector<std::uint8_t> &out, TSimFrame *frame)
{
    TSimFrame f = NextFrame();
    out.insert(out.end(), f.bytes.begin(), f.bytes.end());
    if (options_.garbageMax > 0)
        for (int k = static_cast<int>(rng_() % (options_.garbageMax + 1)); k > 0; --k)
            out.push_back(NoiseByte());
    if (frame)
        *frame = std::move(f);
}

} // namespace glowkite
