#pragma once
// Where a window may go: stored bounds (any 32-bit values a settings file
// holds) fitted to the screens that are present, and splitter sizes that
// fit the room. Pure functions over rectangles, so they are tested without
// a display.

#include <QList>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <vector>

namespace glowkite {

// Bounds as read from the settings file, before any check: wide enough that
// left + width cannot overflow.
struct TStoredBounds {
    std::int64_t Left = 0;
    std::int64_t Top = 0;
    std::int64_t Width = 0;
    std::int64_t Height = 0;
};

// The outer bounds the window gets. `screens` are the screens' available
// areas (without panels and docks), the primary one first. The size is cut
// to the screen the stored bounds show most of (the primary one when they
// show none) and raised to `minimum`, but never beyond that screen; the
// position is then moved so the whole window lies on that screen. Without
// any screen only the size is made sane (minimum .. 16384).
QRect FitToScreens(const TStoredBounds &stored, const std::vector<QRect> &screens, QSize minimum);

// The sizes for a splitter with `total` pixels of room and handles of
// `handle` pixels: `wanted` for every pane but the last, the last pane taking
// the rest. Each pane keeps its entry of `minimum` (one per pane; missing
// entries count as 1 pixel) as long as the room allows; when the wanted
// sizes do not fit, the panes at the end give up their room first.
QList<int> FitSplitterSizes(int total, int handle, const std::vector<std::int64_t> &wanted,
                            const std::vector<int> &minimum = {});

} // namespace glowkite
