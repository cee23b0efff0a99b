#pragma once
// An in-memory IMeasurementView: what the window would show, without a
// window. Used by the command-line tools and by tests. Labels are kept in
// one byte buffer per series, so millions of points cost little memory.

#include "app/core/Export.h"
#include "app/core/MeasurementView.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glowkite {

class TSeriesStore {
public:
    void Append(double value, std::string_view label, TColor color);
    void Clear();
    int Count() const { return static_cast<int>(values_.size()); }
    double Value(int i) const { return values_[static_cast<std::size_t>(i)]; }
    std::string_view Label(int i) const;
    TColor Color(int i) const { return colors_[static_cast<std::size_t>(i)]; }

private:
    std::vector<double> values_;
    std::vector<TColor> colors_;
    std::vector<std::uint32_t> labelEnds_; // end offset of label i in labels_
    std::string labels_;
};

class TMemoryView : public IMeasurementView, public IPointSource {
public:
    void AppendPoint(TSeries s, double value, std::string_view label, TColor color) override;
    void ClearSeries() override;
    int PointCount(TSeries s) const override;
    void SetSeriesVisible(TSeries s, bool visible) override;
    void UndoZoom() override { ++undoZoomCalls; }
    void AppendStatusLine(std::string_view line) override { statusLines.emplace_back(line); }
    void AppendHexLine(std::string_view line) override { hexLines.emplace_back(line); }
    void ClearPanes() override;
    void ReplaceHexLines(TLineStore &&lines) override;
    void SetCountText(std::string_view text) override { countText.assign(text); }

    double PointValue(TSeries s, int i) const override { return Series(s).Value(i); }
    std::string_view PointLabel(TSeries s, int i) const override { return Series(s).Label(i); }
    TColor PointColor(TSeries s, int i) const override { return Series(s).Color(i); }

    const TSeriesStore &Series(TSeries s) const { return series_[static_cast<int>(s)]; }
    bool Visible(TSeries s) const { return visible_[static_cast<int>(s)]; }

    std::vector<std::string> statusLines;
    std::vector<std::string> hexLines;
    std::string countText;
    int undoZoomCalls = 0;

private:
    std::array<TSeriesStore, SeriesCount> series_;
    std::array<bool, SeriesCount> visible_{true, true, true, true, true};
};

} // namespace glowkite
