#pragma once

#include <QRect>
#include <QSize>

#include <vector>

// A resizable window is made no smaller than this while the room allows; a smaller room cuts it.
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

// Places the windows in `area` (its top left at 0,0), none over another: the fixed-size windows in columns from the
// left, each under others of a column when the area is high enough; of the ways to do so, the one that keeps them
// inside, then holds the resizable ones at their minimums, then leaves them the largest room, right of the fixed
// ones or under them. The resizable ones share that room, one above the other while that fits, else side by side, so
// they get whatever is spare; when it is smaller than their minimums they are cut to it: a window past the edge makes
// the workspace scroll. Only an area too small for the fixed ones gets windows beyond its edges, still without overlap.
// `needed` is what holds every window at its minimum, as placed.
WindowArrangement arrangeWindows(const std::vector<WindowToPlace> &windows, QSize area);
