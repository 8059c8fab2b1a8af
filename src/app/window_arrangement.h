#pragma once

#include <QRect>
#include <QSize>

#include <vector>

// A resizable window is never made smaller than this, whatever room is left.
inline constexpr QSize kSmallestResizable(240, 160);

// One child window to be placed by Arrange Windows: its frame's size now, and whether it may be resized (and then
// the smallest frame its contents want).
struct WindowToPlace {
    QSize size;
    bool resizable = false;
    QSize minimum;
};

struct WindowArrangement {
    std::vector<QRect> places; // one per window, in the order given; none overlaps another
    QSize needed;              // the smallest area that holds them all
};

// Places the windows side by side in `area` (its top left at 0,0), none over another: the fixed-size windows in
// columns from the left, in the order given, each under the others of the first column the area is high enough
// for (a new one when none is); the resizable ones share the
// room to their right, one above the other while that fits, else side by side, so they get whatever is spare. When
// that room is smaller than their minimums they are cut to it (never below kSmallestResizable): they stay inside,
// as a window past the edge makes the workspace scroll. Only an area too small for the fixed ones and the smallest
// resizable ones gets them reaching beyond its edges, still without overlap. `needed` is what holds every window at
// its minimum.
WindowArrangement arrangeWindows(const std::vector<WindowToPlace> &windows, QSize area);
