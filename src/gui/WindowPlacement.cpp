#include "gui/WindowPlacement.h"

#include <algorithm>

namespace glowkite {

namespace {

constexpr std::int64_t MaxSide = 16384; // larger than any screen, far below overflow

std::int64_t Overlap(std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1)
{
    return std::max<std::int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

} // namespace

QRect FitToScreens(const TStoredBounds &stored, const std::vector<QRect> &screens, QSize minimum)
{
    const std::int64_t minW = std::max(1, minimum.width());
    const std::int64_t minH = std::max(1, minimum.height());
    std::int64_t w = std::clamp(stored.Width, minW, std::max(minW, MaxSide));
    std::int64_t h = std::clamp(stored.Height, minH, std::max(minH, MaxSide));
    if (screens.empty()) {
        const auto l = std::clamp<std::int64_t>(stored.Left, -MaxSide, MaxSide);
        const auto t = std::clamp<std::int64_t>(stored.Top, -MaxSide, MaxSide);
        return QRect(int(l), int(t), int(w), int(h));
    }

    // The screen that shows most of the window as stored; the stored size is
    // used as it is here (its far edge computed in 64 bits).
    const std::int64_t right = stored.Left + std::max<std::int64_t>(stored.Width, 0);
    const std::int64_t bottom = stored.Top + std::max<std::int64_t>(stored.Height, 0);
    std::size_t best = 0;
    std::int64_t bestArea = 0;
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const QRect &s = screens[i];
        const std::int64_t area =
            Overlap(stored.Left, right, s.left(), std::int64_t(s.left()) + s.width()) *
            Overlap(stored.Top, bottom, s.top(), std::int64_t(s.top()) + s.height());
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    const QRect &screen = screens[best];

    w = std::min<std::int64_t>(w, screen.width());
    h = std::min<std::int64_t>(h, screen.height());
    const std::int64_t sl = screen.left(), st = screen.top();
    const std::int64_t l = std::clamp(stored.Left, sl, sl + screen.width() - w);
    const std::int64_t t = std::clamp(stored.Top, st, st + screen.height() - h);
    return QRect(int(l), int(t), int(w), int(h));
}

QList<int> FitSplitterSizes(int total, int handle, const std::vector<std::int64_t> &wanted,
                            const std::vector<int> &minimum)
{
    const std::size_t panes = wanted.size() + 1;
    std::vector<std::int64_t> least(panes, 1);
    for (std::size_t i = 0; i < panes && i < minimum.size(); ++i)
        least[i] = std::max(1, minimum[i]);
    const std::int64_t room = std::max<std::int64_t>(
        std::int64_t(panes), std::int64_t(total) - std::int64_t(std::max(0, handle)) * std::int64_t(panes - 1));
    // Too little room for the minimums: they shrink to 1 pixel, from the
    // first pane on, until they fit.
    std::int64_t leastSum = 0;
    for (std::int64_t l : least)
        leastSum += l;
    for (std::size_t i = 0; i < panes && leastSum > room; ++i) {
        const std::int64_t cut = std::min(least[i] - 1, leastSum - room);
        least[i] -= cut;
        leastSum -= cut;
    }
    std::vector<std::int64_t> sizes;
    std::int64_t used = 0;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        // Room for this pane and the minimums of the panes after it.
        std::int64_t after = 0;
        for (std::size_t j = i + 1; j < panes; ++j)
            after += least[j];
        const std::int64_t size = std::clamp<std::int64_t>(wanted[i], least[i], room - used - after);
        sizes.push_back(size);
        used += size;
    }
    sizes.push_back(room - used);
    QList<int> out;
    for (std::int64_t s : sizes)
        out.push_back(int(s));
    return out;
}

} // namespace glowkite
