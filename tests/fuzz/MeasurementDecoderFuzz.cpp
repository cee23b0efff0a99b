// The measurement decoding on arbitrary sequences of measurements.
//
// Input: one byte of settings (bit 0: AllData2Chart, bit 1: GlowkiteVersion),
// one byte Intervall (signed, so 0 and negative values come too), then
// records: 0xFF clears the display, 0xFE and 0xFD toggle AllData2Chart and
// GlowkiteVersion; any other byte n is followed by a label of n % 24 bytes and
// AQ, flags, X, Y and contamination as 16-bit little-endian values.
//
// Checked after every step: the five series hold the same number of points;
// a measurement adds nothing, its own points, or a hold point and its own
// points (the hold point only when changes alone are plotted); a change of
// AQ or flags is always plotted, a due measurement is plotted when all data
// go to the chart; plotted values stay in their ranges; a change of the flags
// adds exactly one status line, which begins with the label and the flags.

#include "FuzzSupport.h"

#include "app/core/MeasurementDecoder.h"
#include "app/core/MemoryView.h"

#include <algorithm>

using namespace glowkite;
using glowkite::fuzz::Escaped;

namespace {

void CheckLevel(const TMemoryView &view)
{
    const int n = view.PointCount(TSeries::AQ);
    for (int s = 1; s < SeriesCount; ++s)
        FUZZ_CHECK(view.PointCount(static_cast<TSeries>(s)) == n,
                   "series " + std::to_string(s) + " holds " +
                       std::to_string(view.PointCount(static_cast<TSeries>(s))) + " points, AQ " + std::to_string(n));
}

void Measure(TMeasurementDecoder &d, TMemoryView &view, std::string_view L, std::int16_t a, std::int16_t f,
             std::int16_t x, std::int16_t y, std::int16_t g)
{
    const int pointsBefore = view.PointCount(TSeries::AQ);
    const std::size_t linesBefore = view.statusLines.size();
    const std::int32_t count = d.MeasureCount, lastStatus = d.LastStatus, lastAQ = d.LastAQ;
    const std::string lastLabel = d.LastLabel;
    const bool lastPlotted = d.LastPlotted;
    const std::int32_t intervall = d.Intervall >= 1 ? d.Intervall : 60;
    const bool due = count % intervall == 0;

    d.AddMeasurement(L, a, f, x, y, g);

    CheckLevel(view);
    const int added = view.PointCount(TSeries::AQ) - pointsBefore;
    const std::string what = "measurement " + std::to_string(count) + " (AQ " + std::to_string(a) + ", flags " +
                             std::to_string(f) + ") added " + std::to_string(added) + " points";
    FUZZ_CHECK(d.MeasureCount == count + 1, "measurement not counted");
    FUZZ_CHECK(d.LastLabel == L, "LastLabel is not the label: " + Escaped(d.LastLabel));
    FUZZ_CHECK(added >= 0 && added <= 2, what);
    if (f != lastStatus || a != lastAQ || (due && d.AllData2Chart))
        FUZZ_CHECK(added >= 1, what);
    if (!d.AllData2Chart && f == lastStatus && a == lastAQ)
        FUZZ_CHECK(added == 0, what);
    FUZZ_CHECK(added < 2 || (!d.AllData2Chart && !lastPlotted), what + " with a hold point");
    FUZZ_CHECK(d.LastPlotted == (added > 0), "LastPlotted does not say whether it was plotted");

    if (added == 2) {
        // The hold point repeats the last plotted level under the label of
        // the measurement left out just before.
        FUZZ_CHECK(view.Series(TSeries::AQ).Value(pointsBefore) == lastAQ &&
                       view.Series(TSeries::AQ).Label(pointsBefore) == lastLabel,
                   "hold point is not the last plotted AQ with the previous label");
    }
    if (added > 0) {
        const int i = pointsBefore + added - 1;
        const double aq = view.Series(TSeries::AQ).Value(i);
        FUZZ_CHECK(aq <= 119 && aq == std::min<std::int32_t>(a, 119), what + ": AQ point " + std::to_string(aq));
        FUZZ_CHECK(view.Series(TSeries::AQ).Color(i) == (a > 119 ? clAQClamped : clAQ), what + ": AQ colour");
        FUZZ_CHECK(view.Series(TSeries::AQ).Label(i) == L, what + ": AQ label");
        const double status = view.Series(TSeries::Status).Value(i);
        FUZZ_CHECK(status == d.StatusValue && status >= 0 && status <= 150, what + ": status level");
        for (TSeries s : {TSeries::XPos, TSeries::YPos}) {
            const double v = view.Series(s).Value(i);
            FUZZ_CHECK(v >= -32768.0 / 115 * 5 && v <= 32767.0 / 115 * 5, what + ": position " + std::to_string(v));
        }
        const double gain = view.Series(TSeries::Gain).Value(i);
        FUZZ_CHECK(gain >= -3277 && gain <= 3277 && gain == static_cast<int>(gain), what + ": contamination");
    }

    const bool changed = f != lastStatus;
    FUZZ_CHECK(view.statusLines.size() == linesBefore + (changed ? 1 : 0), what + ": status lines");
    if (changed) {
        const std::string expectedStart = std::string(L) + "  " + ByteToHex(static_cast<std::uint8_t>(f)) + "   ";
        FUZZ_CHECK(view.statusLines.back().rfind(expectedStart, 0) == 0,
                   "status line " + Escaped(view.statusLines.back()));
        FUZZ_CHECK(d.LastStatus == f && d.StatusValue == StatusWords(static_cast<std::uint8_t>(f)).level,
                   "status not taken over");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::TFuzzInput input(data, size);
    TMemoryView view;
    TMeasurementDecoder d(view, nullptr);
    const std::uint8_t settings = input.Byte();
    d.AllData2Chart = settings & 1;
    d.GlowkiteVersion = settings & 2;
    d.Intervall = static_cast<std::int8_t>(input.Byte());

    while (!input.Empty()) {
        const std::uint8_t op = input.Byte();
        if (op == 0xFF) {
            d.ClearData();
            FUZZ_CHECK(view.PointCount(TSeries::AQ) == 0 && view.statusLines.empty() && view.hexLines.empty() &&
                           d.MeasureCount == 0,
                       "ClearData left something");
            CheckLevel(view);
        } else if (op == 0xFE) {
            d.AllData2Chart = !d.AllData2Chart;
        } else if (op == 0xFD) {
            d.GlowkiteVersion = !d.GlowkiteVersion;
        } else {
            const std::string label(input.Bytes(op % 24));
            const auto a = static_cast<std::int16_t>(input.Word());
            const auto f = static_cast<std::int16_t>(input.Word());
            const auto x = static_cast<std::int16_t>(input.Word());
            const auto y = static_cast<std::int16_t>(input.Word());
            const auto g = static_cast<std::int16_t>(input.Word());
            Measure(d, view, label, a, f, x, y, g);
        }
    }
    return 0;
}
