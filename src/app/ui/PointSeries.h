#pragma once
// The points of one chart series, kept compactly, with a min/max level of
// detail built as they arrive, so that a redraw costs what it draws, not
// what the series holds.
//
// Storage: values in the narrowest exact form the series has needed so far
// (16-bit integers, floats, doubles; a wider value converts the column once),
// labels in runs of equal consecutive texts (a label changes once a second),
// the colour as one bit per point (the series colour or its accent colour;
// further colours are kept by index, rarely). A full day of 12.3 M points per
// series costs a few bytes per point for AQ and status, 8 for the positions.
//
// Level of detail: level k holds, for each run of 64 << k points, the least
// and greatest value and the least and greatest value of its accent
// segments (a point drawn in another colour than the series is drawn as the
// segment that leads to it). Each level halves the one below; a redraw picks
// the level with about one entry per pixel column, and below 64 points per
// column it reads the points themselves.

#include "app/core/ChunkedVector.h"
#include "app/core/LineStore.h"
#include "app/core/MeasurementView.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace glowkite {

// What a redraw draws for one series, in axis values: a polyline (NaN
// values break it) and coloured accents. An accent is a segment from
// (key0, value0) to (key1, value1); where columns are drawn it is a vertical
// span of one column (key0 == key1).
struct TDrawPoint {
    double key, value;
};
struct TDrawAccent {
    double key0, value0, key1, value1;
    TColor color;
};
struct TDrawing {
    std::vector<TDrawPoint> line;
    std::vector<TDrawAccent> accents;
    // Whether every point is drawn at its own key (no columns).
    bool everyPoint = true;
    void Clear()
    {
        line.clear();
        accents.clear();
        everyPoint = true;
    }
};

class TPointSeries {
public:
    // Points below this many per pixel column are read one by one.
    static constexpr unsigned BaseShift = 6;
    // Up to this many points per pixel column, every point is drawn as it is.
    static constexpr double EveryPointMax = 2.0;

    explicit TPointSeries(TColor seriesColor) : seriesColor_(seriesColor) {}

    void Append(double value, std::string_view label, TColor color);
    void Clear();

    int Count() const { return static_cast<int>(count_); }
    double Value(std::size_t i) const;
    std::string_view Label(std::size_t i) const { return labels_.Text(i); }
    TColor Color(std::size_t i) const;
    // The first point whose label is text, or -1.
    int FindLabel(std::string_view text) const { return static_cast<int>(labels_.Find(text)); }
    // Points of the given colour other than the series colour.
    int AccentPointCount(TColor color) const;
    // The least and greatest value of all points (false when there is none).
    bool ValueRange(double &lo, double &hi) const;
    const TTextRuns &Labels() const { return labels_; }

    // What to draw for the keys from..to when one pixel column spans
    // keysPerColumn keys; includes the neighbours just outside the range, so
    // the line runs on to the edges.
    void Draw(double from, double to, double keysPerColumn, TDrawing &out) const;

    // Memory held, in bytes.
    std::size_t ByteSize() const;

private:
    enum class TKind : std::uint8_t { Int16, Float, Double };
    struct TBucket {
        float min, max;       // NaN values left out; min > max: none
        float accMin, accMax; // accMin > accMax: no accent
    };

    void StoreValue(double v);
    void Widen(TKind kind);
    bool IsAccent(std::size_t i) const { return (accentBits_[i >> 6] >> (i & 63)) & 1; }
    void AddToLevels(std::size_t i, double v, bool accent, double previous);
    void DrawPoints(std::size_t first, std::size_t last, TDrawing &out) const;
    void DrawColumns(double from, double to, double keysPerColumn, TDrawing &out) const;

    TColor seriesColor_;
    std::size_t count_ = 0;
    TKind kind_ = TKind::Int16;
    TChunkedVector<std::int16_t> int16_;
    TChunkedVector<float> float_;
    TChunkedVector<double> double_;
    TTextRuns labels_;
    TChunkedVector<std::uint64_t, 10> accentBits_;
    // The colours other than the series colour, in order of appearance, with
    // their point counts; points of the second and later ones by index.
    std::vector<std::pair<TColor, int>> accentColors_;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> otherColors_;
    std::vector<TChunkedVector<TBucket, 12>> levels_;
    double min_ = 0, max_ = 0;
    bool anyValue_ = false;
};

} // namespace glowkite
