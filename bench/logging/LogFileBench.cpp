// Lines per second through WriteLine's full cycle: lock, open, size, write, close.
#include "logging/LOGFile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void BM_WriteDataLine(benchmark::State &state)
{
    std::string folder = (std::filesystem::temp_directory_path() / "gk-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    glowkite::TLogFile log;
    log.Directory = folder + "/LOG";
    log.BaseName = "glowkite";
    log.Extension = "glow";
    log.SetPeriod(glowkite::lpDay);
    log.SetOptions(glowkite::loTimeMs);
    // A data line: time text, "RX: " and 25 bytes in hexadecimal.
    std::string line = "05.03.2012 14:07:09  RX: 00 A1 ";
    while (line.size() < 100)
        line += "00 ";
    for (auto _ : state)
        log.WriteLine(line, glowkite::lsNone);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 102);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteDataLine)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
