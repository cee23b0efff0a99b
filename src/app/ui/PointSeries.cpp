#include "app/ui/PointSeries.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace glowkite {

namespace {

constexpr float None = std::numeric_limits<float>::infinity();

bool FitsInt16(double v)
{
    return v == std::trunc(v) && v >= -32768.0 && v <= 32767.0 && !(v == 0 && std::signbit(v));
}

bool FitsFloat(double v)
{
    return std::isnan(v) || (std::abs(v) <= FLT_MAX && static_cast<double>(static_cast<float>(v)) == v) ||
           std::isinf(v);
}

void Include(float &lo, float &hi, double v)
{
    if (std::isnan(v))
        return;
    const auto f = static_cast<float>(v);
    lo = std::min(lo, f);
    hi = std::max(hi, f);
}

} // namespace

void TPointSeries::Append(double value, std::string_view label, TColor color)
{
    const std::size_t i = count_;
    StoreValue(value);
    labels_.Append(label);
    if ((i & 63) == 0)
        accentBits_.push_back(0);
    const bool accent = !(color == seriesColor_);
    if (accent) {
        accentBits_.back() |= std::uint64_t{1} << (i & 63);
        auto it = std::find_if(accentColors_.begin(), accentColors_.end(),
                               [color](const auto &c) { return c.first == color; });
        if (it == accentColors_.end() && accentColors_.size() < 256) {
            accentColors_.emplace_back(color, 0);
            it = accentColors_.end() - 1;
        } else if (it == accentColors_.end()) {
            it = accentColors_.end() - 1; // more colours than any series has: the last one stands in
        }
        ++it->second;
        const auto index = static_cast<std::uint8_t>(it - accentColors_.begin());
        if (index > 0)
            otherColors_.emplace_back(static_cast<std::uint32_t>(i), index);
    }
    const double previous = i > 0 ? Value(i - 1) : value;
    ++count_;
    AddToLevels(i, value, accent, previous);
    if (!std::isnan(value)) {
        min_ = anyValue_ ? std::min(min_, value) : value;
        max_ = anyValue_ ? std::max(max_, value) : value;
        anyValue_ = true;
    }
}

void TPointSeries::Clear()
{
    count_ = 0;
    kind_ = TKind::Int16;
    int16_.clear();
    float_.clear();
    double_.clear();
    labels_.Clear();
    accentBits_.clear();
    accentColors_.clear();
    otherColors_.clear();
    otherColors_.shrink_to_fit();
    levels_.clear();
    anyValue_ = false;
    min_ = max_ = 0;
}

void TPointSeries::StoreValue(double v)
{
    if (kind_ == TKind::Int16) {
        if (FitsInt16(v)) {
            int16_.push_back(static_cast<std::int16_t>(v));
            return;
        }
        Widen(FitsFloat(v) ? TKind::Float : TKind::Double);
    }
    if (kind_ == TKind::Float) {
        if (FitsFloat(v)) {
            float_.push_back(static_cast<float>(v));
            return;
        }
        Widen(TKind::Double);
    }
    double_.push_back(v);
}

void TPointSeries::Widen(TKind kind)
{
    // Once per series at most twice: the first value that the narrower
    // form cannot hold exactly converts what is stored.
    for (std::size_t i = 0; i < count_; ++i) {
        const double v = Value(i);
        if (kind == TKind::Float)
            float_.push_back(static_cast<float>(v));
        else
            double_.push_back(v);
    }
    if (kind_ == TKind::Int16)
        int16_.clear();
    else
        float_.clear();
    kind_ = kind;
}

double TPointSeries::Value(std::size_t i) const
{
    switch (kind_) {
    case TKind::Int16: return int16_[i];
    case TKind::Float: return float_[i];
    case TKind::Double: break;
    }
    return double_[i];
}

TColor TPointSeries::Color(std::size_t i) const
{
    if (!IsAccent(i))
        return seriesColor_;
    const auto it = std::lower_bound(otherColors_.begin(), otherColors_.end(), static_cast<std::uint32_t>(i),
                                     [](const auto &p, std::uint32_t index) { return p.first < index; });
    if (it != otherColors_.end() && it->first == i)
        return accentColors_[it->second].first;
    return accentColors_.front().first;
}

int TPointSeries::AccentPointCount(TColor color) const
{
    for (const auto &c : accentColors_)
        if (c.first == color)
            return c.second;
    return 0;
}

bool TPointSeries::ValueRange(double &lo, double &hi) const
{
    lo = min_;
    hi = max_;
    return anyValue_;
}

void TPointSeries::AddToLevels(std::size_t i, double v, bool accent, double previous)
{
    TBucket point{None, -None, None, -None};
    Include(point.min, point.max, v);
    if (accent) {
        Include(point.accMin, point.accMax, v);
        Include(point.accMin, point.accMax, previous);
    }
    auto merge = [](TBucket &into, const TBucket &b) {
        into.min = std::min(into.min, b.min);
        into.max = std::max(into.max, b.max);
        into.accMin = std::min(into.accMin, b.accMin);
        into.accMax = std::max(into.accMax, b.accMax);
    };
    if (levels_.empty())
        levels_.emplace_back();
    for (std::size_t k = 0; k < levels_.size(); ++k) {
        auto &level = levels_[k];
        if ((i >> (BaseShift + k)) == level.size()) {
            level.push_back(point);
            continue;
        }
        // The last entry of each level spans that of the level below: a point
        // that widens nothing here widens nothing above. Most points stop
        // after a level or two, where every level would cost a replay of a
        // day a third of its time.
        TBucket &last = level.back();
        if (!(point.min < last.min || point.max > last.max || point.accMin < last.accMin || point.accMax > last.accMax))
            break;
        merge(last, point);
    }
    // A new level once the top one has two entries: it halves them.
    while (levels_.back().size() >= 2) {
        TBucket top = levels_.back()[0];
        merge(top, levels_.back()[1]);
        levels_.emplace_back();
        levels_.back().push_back(top);
    }
}

void TPointSeries::Draw(double from, double to, double keysPerColumn, TDrawing &out) const
{
    out.Clear();
    if (count_ == 0 || !(to >= from) || !std::isfinite(from) || !std::isfinite(to))
        return;
    const double lastKey = static_cast<double>(count_ - 1);
    if (keysPerColumn <= EveryPointMax || !std::isfinite(keysPerColumn)) {
        const double first = std::clamp(std::floor(from) - 1, 0.0, lastKey);
        const double last = std::clamp(std::ceil(to) + 1, 0.0, lastKey);
        DrawPoints(static_cast<std::size_t>(first), static_cast<std::size_t>(last), out);
        return;
    }
    DrawColumns(from, to, keysPerColumn, out);
}

void TPointSeries::DrawPoints(std::size_t first, std::size_t last, TDrawing &out) const
{
    out.line.reserve(last - first + 1);
    for (std::size_t i = first; i <= last; ++i) {
        const double v = Value(i);
        out.line.push_back({static_cast<double>(i), v});
        if (IsAccent(i)) {
            const std::size_t p = i > 0 ? i - 1 : 0;
            out.accents.push_back({static_cast<double>(p), Value(p), static_cast<double>(i), v, Color(i)});
        }
    }
}

void TPointSeries::DrawColumns(double from, double to, double keysPerColumn, TDrawing &out) const
{
    out.everyPoint = false;
    const double lastKey = static_cast<double>(count_ - 1);
    // Columns are counted from key 0, so they stay put while the view scrolls.
    const double c0 = std::max(0.0, std::floor(from / keysPerColumn) - 1);
    const double c1 = std::min(std::floor(lastKey / keysPerColumn), std::floor(to / keysPerColumn) + 1);
    if (c1 < c0)
        return;
    const TColor accentColor = accentColors_.empty() ? seriesColor_ : accentColors_.front().first;

    double column = -1; // none yet
    TBucket acc{None, -None, None, -None};
    double lastValue = std::numeric_limits<double>::quiet_NaN();
    auto flush = [&] {
        const double key = std::clamp((column + 0.5) * keysPerColumn, 0.0, lastKey);
        if (acc.min <= acc.max) {
            // Drawn from the end nearer the previous column, so the joining
            // segment stays short.
            const bool down = !std::isnan(lastValue) && lastValue > (acc.min + acc.max) / 2.0;
            const double a = down ? acc.max : acc.min, b = down ? acc.min : acc.max;
            out.line.push_back({key, a});
            if (b != a)
                out.line.push_back({key, b});
            lastValue = b;
        } else {
            out.line.push_back({key, std::numeric_limits<double>::quiet_NaN()});
            lastValue = std::numeric_limits<double>::quiet_NaN();
        }
        if (acc.accMin <= acc.accMax)
            out.accents.push_back({key, acc.accMin, key, acc.accMax, accentColor});
        acc = {None, -None, None, -None};
    };
    auto add = [&](double startKey, const TBucket &b) {
        const double c = std::floor(startKey / keysPerColumn);
        if (c != column) {
            if (column >= 0)
                flush();
            column = c;
        }
        acc.min = std::min(acc.min, b.min);
        acc.max = std::max(acc.max, b.max);
        acc.accMin = std::min(acc.accMin, b.accMin);
        acc.accMax = std::max(acc.accMax, b.accMax);
    };

    const auto firstKey = static_cast<std::size_t>(std::ceil(c0 * keysPerColumn));
    const auto endKey =
        static_cast<std::size_t>(std::min(static_cast<double>(count_), std::ceil((c1 + 1) * keysPerColumn)));
    // The coarsest level whose entries are no wider than a column.
    std::size_t level = 0;
    bool points = keysPerColumn < static_cast<double>(std::size_t{1} << BaseShift);
    if (!points)
        while (level + 1 < levels_.size() &&
               static_cast<double>(std::size_t{1} << (BaseShift + level + 1)) <= keysPerColumn)
            ++level;
    out.line.reserve(static_cast<std::size_t>(2 * (c1 - c0 + 1)));
    if (points) {
        for (std::size_t i = firstKey; i < endKey; ++i) {
            TBucket b{None, -None, None, -None};
            const double v = Value(i);
            Include(b.min, b.max, v);
            if (IsAccent(i)) {
                Include(b.accMin, b.accMax, v);
                Include(b.accMin, b.accMax, Value(i > 0 ? i - 1 : 0));
            }
            add(static_cast<double>(i), b);
        }
    } else {
        const unsigned shift = BaseShift + static_cast<unsigned>(level);
        const auto &entries = levels_[level];
        const std::size_t endEntry = std::min(entries.size(), ((endKey - 1) >> shift) + 1);
        for (std::size_t j = firstKey >> shift; j < endEntry; ++j)
            add(static_cast<double>(j << shift), entries[j]);
    }
    if (column >= 0)
        flush();
}

std::size_t TPointSeries::ByteSize() const
{
    std::size_t n = int16_.ByteSize() + float_.ByteSize() + double_.ByteSize() + labels_.ByteSize() +
                    accentBits_.ByteSize() + otherColors_.capacity() * 8;
    for (const auto &level : levels_)
        n += level.ByteSize();
    return n;
}

} // namespace glowkite
