#pragma once
// Writes a day file as a detector at full line rate leaves it, for the
// replay and export benchmarks.

#include "app/core/FrameReceiver.h"
#include "sim/DetectorSimulator.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace glowkite::bench {

inline void WriteDayFile(const std::string &path, std::int64_t lines)
{
    TSimOptions o;
    o.statusRun = true;
    o.framesPerStatus = 5000;
    o.aqRamp = true;
    o.positionRamp = true;
    o.contamination = -1;
    TDetectorSimulator sim(o);
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::string line;
    for (std::int64_t i = 0; i < lines; ++i) {
        const std::int64_t second = i * 7 / 1000; // 143 frames a second
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "05.03.2012 %02d:%02d:%02d", static_cast<int>(second / 3600 % 24),
                      static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
        line = RxLine(stamp, sim.NextFrame().bytes);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), f);
    }
    std::fclose(f);
}

} // namespace glowkite::bench
