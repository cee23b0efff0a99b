#pragma once
// The program's two log writers, set up alike wherever frames are recorded
// (the window and the headless recorder), so both write the same files.

#include "logging/LOGFile.h"

#include <string>

namespace glowkite {

// LOG/glowKite_yymm.log: one line per change of the status flags.
inline void SetupStatusLog(TLogFile &log, const std::string &logDir)
{
    log.Directory = logDir;
    log.BaseName = "glowKite";
    log.Extension = "log";
    log.SetPeriod(lpMonth);
    log.SetOptions(loTimeMs);
}

// LOG/glowkite_yymmdd.glow: one "RX: " line per received frame.
inline void SetupDataLog(TLogFile &log, const std::string &logDir)
{
    log.Directory = logDir;
    log.BaseName = "glowkite";
    log.Extension = "glow";
    log.SetPeriod(lpDay);
    log.SetOptions(loTimeMs);
}

} // namespace glowkite
