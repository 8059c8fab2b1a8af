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

    // Resizable windows: the room right of the fixed ones, one above the other while their smallest heights fit,
    // else side by side; the spare room shared out evenly, each at least its minimum.
    std::vector<std::size_t> resizable;
    int widestMinimum = 0;
    int tallestMinimum = 0;
    int minimumWidths = 0;
    int minimumHeights = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i].resizable)
            continue;
        resizable.push_back(i);
        widestMinimum = std::max(widestMinimum, windows[i].minimum.width());
        tallestMinimum = std::max(tallestMinimum, windows[i].minimum.height());
        minimumWidths += windows[i].minimum.width();
        minimumHeights += windows[i].minimum.height();
    }
    const bool stacked = minimumHeights <= area.height();
    const int roomWidth = area.width() - fixedRight;
    int spare = stacked ? std::max(0, area.height() - minimumHeights) : std::max(0, roomWidth - minimumWidths);
    int along = 0;
    for (std::size_t k = 0; k < resizable.size(); ++k) {
        const WindowToPlace &window = windows[resizable[k]];
        const int share = spare / int(resizable.size() - k);
        spare -= share;
        QRect &place = arrangement.places[resizable[k]];
        if (stacked) {
            place = QRect(fixedRight, along, std::max(roomWidth, widestMinimum), window.minimum.height() + share);
            along += place.height();
        } else {
            place = QRect(fixedRight + along, 0, window.minimum.width() + share,
                          std::max(area.height(), window.minimum.height()));
            along += place.width();
        }
    }
    if (!resizable.empty())
        tallest = std::max(tallest, stacked ? minimumHeights : tallestMinimum);
    const int resizableWidth = resizable.empty() ? 0 : stacked ? widestMinimum : minimumWidths;
    arrangement.needed = QSize(fixedRight + resizableWidth, tallest);
    return arrangement;
}
