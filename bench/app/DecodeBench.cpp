// Throughput of the decoding core: AddMeasurement into an in-memory view.
// Target: at least 2 million measurements per second.
#include "app/core/MeasurementDecoder.h"
#include "app/core/MemoryView.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

using namespace glowkite;

namespace {

struct Input {
    std::int16_t a, f, x, y, g;
};

std::vector<Input> MakeInputs(std::size_t n)
{
    // A realistic day: AQ wanders slowly, the status changes now and then.
    std::mt19937 rng(1);
    std::vector<Input> v(n);
    int aq = 20, flags = 0;
    for (auto &in : v) {
        if (rng() % 50 == 0)
            aq = std::clamp(aq + static_cast<int>(rng() % 3) - 1, 0, 255);
        if (rng() % 2000 == 0)
            flags = static_cast<int>(rng() % 4);
        in = {static_cast<std::int16_t>(aq), static_cast<std::int16_t>(flags),
              static_cast<std::int16_t>(rng() % 800 - 400), static_cast<std::int16_t>(rng() % 800 - 400),
              static_cast<std::int16_t>(rng() % 256)};
    }
    return v;
}

void Run(benchmark::State &state, bool allData, int intervall)
{
    const auto inputs = MakeInputs(1 << 20);
    const std::string label = "05.03.2012 14:07:09";
    std::size_t i = 0, total = 0;
    TMemoryView view;
    TMeasurementDecoder dec(view, nullptr);
    dec.AllData2Chart = allData;
    dec.Intervall = intervall;
    for (auto _ : state) {
        const Input &in = inputs[i];
        dec.AddMeasurement(label, in.a, in.f, in.x, in.y, in.g);
        if (++i == inputs.size()) {
            i = 0;
            state.PauseTiming();
            dec.ClearData();
            state.ResumeTiming();
        }
        ++total;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(total));
    state.counters["points"] = view.PointCount(TSeries::AQ);
}

} // namespace

// The program's defaults: every 60th measurement and every change.
BENCHMARK_CAPTURE(Run, defaults_interval60, true, 60);
// Worst case: every measurement plotted (Intervall 1).
BENCHMARK_CAPTURE(Run, every_measurement_plotted, true, 1);
// Changes only, with hold points.
BENCHMARK_CAPTURE(Run, changes_only, false, 60);

BENCHMARK_MAIN();
