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
    // The terminal went away: end as on Ctrl+C, with the summary.
    sigaction(SIGHUP, &sa, nullptr);
    // A file-size limit makes the write fail (EFBIG) instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO);
}

} // namespace glowkite
