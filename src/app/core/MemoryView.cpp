#include "app/core/MemoryView.h"

namespace glowkite {

void TSeriesStore::Append(double value, std::string_view label, TColor color)
{
    values_.push_back(value);
    colors_.push_back(color);
    labels_.append(label);
    labelEnds_.push_back(static_cast<std::uint32_t>(labels_.size()));
}

void TSeriesStore::Clear()
{
    values_.clear();
    colors_.clear();
    labelEnds_.clear();
    labels_.clear();
}

std::string_view TSeriesStore::Label(int i) const
{
    const auto k = static_cast<std::size_t>(i);
    const std::uint32_t begin = k == 0 ? 0 : labelEnds_[k - 1];
    return std::string_view(labels_).substr(begin, labelEnds_[k] - begin);
}

void TMemoryView::AppendPoint(TSeries s, double value, std::string_view label, TColor color)
{
    series_[static_cast<int>(s)].Append(value, label, color);
}

void TMemoryView::ClearSeries()
{
    for (auto &s : series_)
        s.Clear();
}

int TMemoryView::PointCount(TSeries s) const
{
    return series_[static_cast<int>(s)].Count();
}

void TMemoryView::SetSeriesVisible(TSeries s, bool visible)
{
    visible_[static_cast<int>(s)] = visible;
}

void TMemoryView::ReplaceHexLines(TLineStore &&lines)
{
    hexLines.clear();
    for (std::size_t i = 0; i < lines.Count(); ++i)
        hexLines.emplace_back(lines.Line(i));
}

void TMemoryView::ClearPanes()
{
    statusLines.clear();
    hexLines.clear();
}

} // namespace glowkite
