#pragma once
// A simulated GlowKite detector: makes the byte stream a detector sends, in
// either protocol generation, deterministically from a seed. Used by the
// command-line simulator, the program's demo mode and the tests.

#include <cstdint>
#include <random>
#include <vector>

namespace glowkite {

// 25 bytes of 10 bits each at 35710 baud: the fastest a detector can send.
inline constexpr double FullLineRateFps = 35710.0 / 250.0;

struct TSimOptions {
    bool oldProtocol = false;         // "glowkite" instead of "glowkite +"
    std::uint32_t seed = 1;
    bool statusRun = false;           // walk through alarm, fault and the other flags
    bool aqRamp = false;              // AQ rises and falls 0..140 (above 119 is clamped)
    bool positionRamp = false;        // X and Y swing through the whole scale
    int contamination = 128;          // raw byte; -1: a slow drift
    int garbageMax = 0;               // 0..n noise bytes between frames (never a marker)
    int bothMarksEvery = 0;           // every n-th frame carries both protocol marks
    std::int64_t switchProtocolAfter = 0; // switch generation after n frames (0: never)
    int framesPerStatus = 40;         // how long each step of the status run lasts
};

// What a frame carries, as the window will read it.
struct TSimFrame {
    std::vector<std::uint8_t> bytes; // the 25 bytes
    bool oldProtocol;
    std::uint8_t aq, flags, contamination;
    std::int16_t x, y;
};

class TDetectorSimulator {
public:
    explicit TDetectorSimulator(const TSimOptions &options);

    TSimFrame NextFrame();
    // The next frame followed by the noise bytes that come before the next one.
    void AppendNext(std::vector<std::uint8_t> &out, TSimFrame *frame = nullptr);

    std::int64_t FramesMade() const { return frames_; }

private:
    std::uint8_t NoiseByte();

    TSimOptions options_;
    std::mt19937 rng_;
    std::int64_t frames_ = 0;
    bool oldProtocol_;
};

} // namespace glowkite
