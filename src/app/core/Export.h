#pragma once
// Exports for reports: the frames of a stored day as a table, and the
// chart's points as the window plots them. Both as CSV in UTF-8.

#include "app/core/MeasurementView.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace glowkite {

struct TBadLines;

// Windows-1252 (the program's 8-bit texts) to UTF-8.
std::string Cp1252ToUtf8(std::string_view s);

struct TCsvStyle {
    char separator = ',';
    char decimal = '.';
    bool bom = false; // a UTF-8 byte-order mark, for spreadsheets that need one
};
// ";" between fields, decimal comma and a byte-order mark: what a German
// spreadsheet opens as columns without asking.
inline constexpr TCsvStyle CsvExcelGerman{';', ',', true};

// The points of the five chart series.
class IPointSource {
public:
    virtual ~IPointSource() = default;
    virtual int PointCount(TSeries s) const = 0;
    virtual double PointValue(TSeries s, int i) const = 0;
    virtual std::string_view PointLabel(TSeries s, int i) const = 0;
    virtual TColor PointColor(TSeries s, int i) const = 0;
};

// One row per stored frame of a day file: date and time, protocol, AQ,
// status byte, status words, X and Y as the chart scales them,
// contamination as the chart shows it. A line that cannot be decoded is
// skipped and counted in skipped (when given); every good line becomes a
// row. Returns the number of rows.
std::int64_t ExportFramesCsv(const std::string &dayFile, std::ostream &out, const TCsvStyle &style = {},
                             TBadLines *skipped = nullptr);

// One row per point: series, index, value, label, colour (#RRGGBB).
std::int64_t ExportPointsCsv(const IPointSource &points, std::ostream &out, const TCsvStyle &style = {});

} // namespace glowkite
