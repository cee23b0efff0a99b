#include "tools/CliPlatform.h"

#include <csignal>
#include <cstdio>
#include <io.h>

namespace glowkite {

void CatchStopSignals(void (*handler)(int))
{
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
}

bool StderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

} // namespace glowkite
