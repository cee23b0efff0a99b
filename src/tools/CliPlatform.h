#pragma once
// What glowkite-cli needs of its console, one implementation per OS
// (CliPlatformPosix.cpp, CliPlatformWin32.cpp).

namespace glowkite {

// Calls handler on Ctrl+C, on a request to end (SIGTERM) and when the
// terminal goes away (SIGHUP); a file-size limit (SIGXFSZ) is ignored.
void CatchStopSignals(void (*handler)(int));

// True when stderr is a terminal (progress is then shown in one line).
bool StderrIsTerminal();

} // namespace glowkite
