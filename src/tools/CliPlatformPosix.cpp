#include "tools/CliPlatform.h"

#include <csignal>
#include <unistd.h>

namespace glowkite {

void CatchStopSignals(void (*handler)(int))
{
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO);
}

} // namespace glowkite
