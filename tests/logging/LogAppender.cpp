// A second process for the log writer's tests.
//   LogAppender append DIR BASENAME STREAM COUNT [TIMEOUT_MS]
//     appends COUNT day-file lines "STREAM SEQ ..." (100 characters) through
//     TLogFile into DIR, then prints "sent N" (the lines WriteLine took) and,
//     for a failure, its message on stderr; exit 0 only when all were taken.
//   LogAppender hold BASENAME
//     holds the log lock BASENAME, prints "held", and lets go at end of input.
#include "logging/LOGFile.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace glowkite;

namespace {

int Append(const std::string &dir, const std::string &base, const std::string &stream, long count,
           long timeoutMs)
{
    TLogFile log;
    log.Directory = dir;
    log.BaseName = base;
    log.Extension = "glow";
    log.SetPeriod(lpDay);
    log.LockTimeout = std::chrono::milliseconds(timeoutMs);
    log.Notice = [](const std::string &text) { std::cerr << "notice: " << text << '\n'; };
    long sent = 0;
    int code = 0;
    for (long i = 0; i < count; ++i) {
        std::string line = stream + " " + std::to_string(i) + " ";
        line.resize(100, stream.empty() ? '-' : stream[0]);
        try {
            log.WriteLine(line, lsNone);
            ++sent;
        } catch (const ELogError &e) {
            std::cerr << e.what() << '\n';
            code = 1;
        }
    }
    std::cout << "sent " << sent << std::endl;
    return code;
}

int Hold(const std::string &base)
{
    try {
        NamedLock lock(base, std::chrono::milliseconds(0));
        std::cout << "held" << std::endl;
        for (int c; (c = std::getchar()) != EOF;) {
        }
    } catch (const ELogError &e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "append" && (argc == 6 || argc == 7))
        return Append(argv[2], argv[3], argv[4], std::atol(argv[5]),
                      argc == 7 ? std::atol(argv[6]) : 5000);
    if (mode == "hold" && argc == 3)
        return Hold(argv[2]);
    std::cerr << "usage: LogAppender append DIR BASENAME STREAM COUNT [TIMEOUT_MS] | hold BASENAME\n";
    return 2;
}
