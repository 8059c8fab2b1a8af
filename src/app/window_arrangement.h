#pragma once

#include <QRect>
#include <QSize>

#include <vector>

// One child window to be placed by Arrange Windows: its frame's size now, and whether it may be resized (and then
// the smallest frame it works in).
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
// columns from the left, in the order given, each column as high as the area allows; the resizable ones share the
// room to their right, one above the other while that fits, else side by side, so they get whatever is spare. An area
// too small for them all gets them anyway, reaching beyond its edges (the workspace scrolls), still without overlap.
WindowArrangement arrangeWindows(const std::vector<WindowToPlace> &windows, QSize area);
