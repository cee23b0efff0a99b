// The chart and the panes at scale, offscreen.
// Targets: a full redraw with 1,000,000 points in each of the five series
// under 50 ms with the whole range shown, under 5 ms zoomed in; appending a
// million measurements through the view interface; filling a pane with a
// million lines at once.
#include "app/ui/ChartAdapter.h"
#include "app/core/MeasurementDecoder.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace glowkite;

namespace {

constexpr int Million = 1000000;

std::string LabelOf(int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "05.03.2012 %02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60, i % 60);
    return text;
}

struct Input {
    std::int16_t a, f, x, y, g;
};

// A day of a detector: AQ wanders and now and then goes above 119, the
// status changes now and then, the positions jitter.
std::vector<Input> MakeInputs(int n)
{
    std::mt19937 rng(7);
    std::vector<Input> v(static_cast<std::size_t>(n));
    int aq = 20, flags = 0;
    for (auto &in : v) {
        if (rng() % 20 == 0)
            aq = std::clamp(aq + static_cast<int>(rng() % 7) - 3, 0, 140);
        if (rng() % 5000 == 0)
            flags = static_cast<int>(rng() % 4);
        in = {static_cast<std::int16_t>(aq), static_cast<std::int16_t>(flags),
              static_cast<std::int16_t>(rng() % 200 - 100), static_cast<std::int16_t>(rng() % 200 - 100),
              static_cast<std::int16_t>(120 + rng() % 20)};
    }
    return v;
}

// One chart with a million points in each series, made once; released at
// the end of main, while the application that its widget needs still exists.
std::unique_ptr<TChartAdapter> bigChart;

TChartAdapter &BigChart()
{
    if (bigChart)
        return *bigChart;
    bigChart = std::make_unique<TChartAdapter>();
    TChartAdapter *c = bigChart.get();
    c->Widget()->resize(1280, 500);
    c->Widget()->show();
    const auto inputs = MakeInputs(Million);
    for (int i = 0; i < Million; ++i) {
        const Input &in = inputs[static_cast<std::size_t>(i)];
        const std::string label = LabelOf(i);
        const bool clamped = in.a > 119;
        c->Append(TSeries::AQ, clamped ? 119 : in.a, label, clamped ? clAQClamped : clAQ);
        c->Append(TSeries::Status, in.f * 30, label, clStatus);
        c->Append(TSeries::XPos, in.x / 115.0 * 5, {}, clXPos);
        c->Append(TSeries::YPos, in.y / 115.0 * 5, {}, clYPos);
        c->Append(TSeries::Gain, (in.g - 128) / 10, {}, clGain);
    }
    for (TSeries s : {TSeries::XPos, TSeries::YPos, TSeries::Gain})
        c->SetVisible(s, true);
    c->Replot();
    return *c;
}

void BM_ReplotWholeRange(benchmark::State &state)
{
    TChartAdapter &chart = BigChart();
    chart.SetAutomatic(TChartAxis::Bottom, true);
    chart.SetAutomatic(TChartAxis::Top, true);
    chart.Replot();
    for (auto _ : state)
        chart.Replot();
    state.counters["points"] = 5.0 * chart.Count(TSeries::AQ);
}
BENCHMARK(BM_ReplotWholeRange)->Unit(benchmark::kMillisecond);

void BM_ReplotZoomedIn(benchmark::State &state)
{
    TChartAdapter &chart = BigChart();
    const TAxisRange range{500000, 500000 + static_cast<double>(state.range(0))};
    chart.SetRange(TChartAxis::Bottom, range);
    chart.SetRange(TChartAxis::Top, range);
    chart.Replot();
    for (auto _ : state)
        chart.Replot();
}
BENCHMARK(BM_ReplotZoomedIn)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ScrollAndReplot(benchmark::State &state)
{
    // What a held F2 costs: the labels of the ticks change every time.
    TChartAdapter &chart = BigChart();
    chart.SetRange(TChartAxis::Bottom, {400000, 400200});
    for (auto _ : state) {
        chart.Scroll(TChartAxis::Bottom, 20);
        chart.Replot();
    }
}
BENCHMARK(BM_ScrollAndReplot)->Unit(benchmark::kMillisecond);

// A million measurements through AddMeasurement into the main window (all
// plotted: interval 1), the chart redrawn at the end.
void BM_AppendMillionMeasurements(benchmark::State &state)
{
    QTemporaryDir dir;
    ProgramPaths paths;
    paths.IniFile = QDir(dir.path()).filePath("glowkite.INI").toStdString();
    paths.LogDir = QDir(dir.path()).filePath("LOG/").toStdString();
    TForm_GlowKite window(paths);
    TMeasurementDecoder decoder(window, nullptr);
    decoder.Intervall = 1;
    const auto inputs = MakeInputs(Million);
    std::vector<std::string> labels;
    labels.reserve(inputs.size());
    for (int i = 0; i < Million; ++i)
        labels.push_back(LabelOf(i));
    for (auto _ : state) {
        for (int i = 0; i < Million; ++i) {
            const Input &in = inputs[static_cast<std::size_t>(i)];
            decoder.AddMeasurement(labels[static_cast<std::size_t>(i)], in.a, in.f, in.x, in.y, in.g);
        }
        window.Chart().Replot();
        state.PauseTiming();
        decoder.ClearData();
        window.Chart().Replot();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Million);
}
BENCHMARK(BM_AppendMillionMeasurements)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PaneReplaceMillionLines(benchmark::State &state)
{
    TTextPane pane;
    pane.resize(400, 300);
    pane.show();
    const std::string line =
        "05.03.2012 14:07:09  RX: 00 A1 14 00 00 80 80 00 00 10 00 F0 FF 00 00 00 00 A1 00 00 00 00 00 00 00 ";
    for (auto _ : state) {
        TLineStore lines;
        lines.Reserve(Million, Million * line.size());
        for (int i = 0; i < Million; ++i)
            lines.Append(line);
        pane.Lines().ReplaceAll(std::move(lines));
        pane.scrollToBottom();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_PaneReplaceMillionLines)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PaneAppendLine(benchmark::State &state)
{
    // A live frame's line: one append, the view following the end.
    TTextPane pane;
    pane.resize(400, 300);
    pane.show();
    int n = 0;
    for (auto _ : state) {
        pane.AddLine("05.03.2012 14:07:09  RX: 00 A1 14 00 00 80 80 00 00 10 00 F0 FF");
        if (++n % 64 == 0)
            QApplication::processEvents();
    }
}
BENCHMARK(BM_PaneAppendLine);

} // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bigChart.reset();
    return 0;
}
