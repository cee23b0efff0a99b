#pragma once
// What the measurement decoding needs of the main window: five chart series,
// the status pane, the data pane and the count label. The main window
// implements it over the chart and the panes; tests and the command-line
// tools implement it in memory.

#include <cstdint>
#include <string_view>

#include "app/core/LineStore.h"

namespace glowkite {

struct TColor {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(TColor, TColor) = default;
};

inline constexpr TColor clAQ{0, 0, 255};
inline constexpr TColor clAQClamped{0, 128, 255}; // AQ above 119, drawn as 119
inline constexpr TColor clStatus{255, 0, 0};
inline constexpr TColor clXPos{0, 128, 0};
inline constexpr TColor clYPos{255, 128, 0};
inline constexpr TColor clGain{0, 0, 0};

// The chart series in their order; AQ and Status on the left axis, the
// other three on the right axis.
enum class TSeries : int { AQ = 0, Status, XPos, YPos, Gain };
inline constexpr int SeriesCount = 5;

// "AQ", "Status", "X Pos", "Y Pos", "Verschmutzung"
const char *SeriesTitle(TSeries s);
TColor SeriesColor(TSeries s);

class IMeasurementView {
public:
    virtual ~IMeasurementView() = default;

    // A point's x value is its index in the series. Texts are Windows-1252.
    virtual void AppendPoint(TSeries s, double value, std::string_view label, TColor color) = 0;
    virtual void ClearSeries() = 0;
    virtual int PointCount(TSeries s) const = 0;
    // A hidden series goes on receiving points.
    virtual void SetSeriesVisible(TSeries s, bool visible) = 0;
    // Restores the axes saved at the first zoom, if any.
    virtual void UndoZoom() = 0;

    virtual void AppendStatusLine(std::string_view line) = 0; // mem_Status
    virtual void AppendHexLine(std::string_view line) = 0;    // mem_HEX
    virtual void ClearPanes() = 0;                            // both panes
    // Replaces all lines of mem_HEX at once (the replay).
    virtual void ReplaceHexLines(TLineStore &&lines) = 0;
    virtual void SetCountText(std::string_view text) = 0;     // lbl_WerteAnz
};

} // namespace glowkite
