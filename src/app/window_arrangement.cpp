#include "app/window_arrangement.h"

#include <algorithm>

WindowArrangement arrangeWindows(const std::vector<WindowToPlace> &windows, QSize area)
{
    WindowArrangement arrangement;
    arrangement.places.resize(windows.size());

    // Fixed windows: down a column while they fit, then the next column to its right.
    int columnLeft = 0;
    int columnWidth = 0;
    int y = 0;
    int tallest = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (windows[i].resizable)
            continue;
        const QSize size = windows[i].size;
        if (y > 0 && y + size.height() > area.height()) {
            columnLeft += columnWidth;
            columnWidth = 0;
            y = 0;
        }
        arrangement.places[i] = QRect(QPoint(columnLeft, y), size);
        y += size.height();
        columnWidth = std::max(columnWidth, size.width());
        tallest = std::max(tallest, y);
    }
    const int fixedRight = columnLeft + columnWidth;

    // Resizable windows: the rest of the width, the height shared out evenly (each at least its minimum).
    std::vector<std::size_t> resizable;
    int widestMinimum = 0;
    int minimumHeights = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i].resizable)
            continue;
        resizable.push_back(i);
        widestMinimum = std::max(widestMinimum, windows[i].minimum.width());
        minimumHeights += windows[i].minimum.height();
    }
    if (!resizable.empty()) {
        const int width = std::max(area.width() - fixedRight, widestMinimum);
        int top = 0;
        int spare = std::max(0, area.height() - minimumHeights);
        for (std::size_t k = 0; k < resizable.size(); ++k) {
            const WindowToPlace &window = windows[resizable[k]];
            const int share = spare / int(resizable.size() - k);
            spare -= share;
            const int height = window.minimum.height() + share;
            arrangement.places[resizable[k]] = QRect(fixedRight, top, width, height);
            top += height;
        }
        tallest = std::max(tallest, minimumHeights);
    }
    arrangement.needed = QSize(fixedRight + widestMinimum, tallest);
    return arrangement;
}
