#include "app/window_arrangement.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace {

// Lengths along `room` for windows wishing `wishes` (each at least `floor`): each its wish and an even share of what
// is spare; when the wishes do not fit, each cut towards the floor in proportion to what it wished beyond it.
std::vector<int> shareOut(const std::vector<int> &wishes, int floor, int room)
{
    const int count = int(wishes.size());
    const int wished = std::accumulate(wishes.begin(), wishes.end(), 0);
    std::vector<int> lengths(wishes.size());
    if (wished <= room) {
        int spare = room - wished;
        for (int k = 0; k < count; ++k) {
            const int share = spare / (count - k);
            spare -= share;
            lengths[k] = wishes[k] + share;
        }
        return lengths;
    }
    const std::int64_t beyond = wished - std::int64_t(floor) * count;
    const std::int64_t left = std::max<std::int64_t>(0, room - std::int64_t(floor) * count);
    int given = 0;
    for (int k = 0; k < count; ++k) {
        lengths[k] = floor + (beyond > 0 ? int((wishes[k] - floor) * left / beyond) : 0);
        given += lengths[k];
    }
    // What rounding left over goes to the last, so they reach the far edge.
    if (count > 0 && left > 0)
        lengths[count - 1] += room - given;
    return lengths;
}

} // namespace

WindowArrangement arrangeWindows(const std::vector<WindowToPlace> &windows, QSize area)
{
    WindowArrangement arrangement;
    arrangement.places.resize(windows.size());

    // Fixed windows: each at the foot of the first column with room left below for it, else in a new column; a
    // column is as wide as its widest, so the lefts are known once all are in.
    struct Column {
        int width = 0;
        int height = 0;
        std::vector<std::size_t> members;
    };
    std::vector<Column> columns;
    int tallest = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (windows[i].resizable)
            continue;
        const QSize size = windows[i].size;
        auto column = std::find_if(columns.begin(), columns.end(), [&](const Column &candidate) {
            return candidate.height + size.height() <= area.height();
        });
        if (column == columns.end())
            column = columns.insert(columns.end(), Column{});
        arrangement.places[i] = QRect(QPoint(0, column->height), size);
        column->height += size.height();
        column->width = std::max(column->width, size.width());
        column->members.push_back(i);
        tallest = std::max(tallest, column->height);
    }
    int fixedRight = 0;
    for (const Column &column : columns) {
        for (std::size_t i : column.members)
            arrangement.places[i].moveLeft(fixedRight);
        fixedRight += column.width;
    }

    // Resizable windows: the room right of the fixed ones, one above the other while their smallest sizes fit,
    // else side by side; the spare room shared out evenly, each at least its minimum while there is room for that.
    std::vector<std::size_t> resizable;
    std::vector<int> minimumWidthOf;
    std::vector<int> minimumHeightOf;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i].resizable)
            continue;
        resizable.push_back(i);
        const QSize minimum = windows[i].minimum.expandedTo(kSmallestResizable);
        minimumWidthOf.push_back(minimum.width());
        minimumHeightOf.push_back(minimum.height());
    }
    const auto sum = [](const std::vector<int> &lengths) {
        return std::accumulate(lengths.begin(), lengths.end(), 0);
    };
    const auto largest = [](const std::vector<int> &lengths) {
        return lengths.empty() ? 0 : *std::max_element(lengths.begin(), lengths.end());
    };
    const int minimumWidths = sum(minimumWidthOf);
    const int minimumHeights = sum(minimumHeightOf);
    const int widestMinimum = largest(minimumWidthOf);
    const int tallestMinimum = largest(minimumHeightOf);
    const int roomWidth = area.width() - fixedRight;
    const bool stackFits = minimumHeights <= area.height() && widestMinimum <= roomWidth;
    const bool sideFits = minimumWidths <= roomWidth && tallestMinimum <= area.height();
    // Where neither holds them whole: cut them across the way they fit along, else both ways stacked.
    const bool stacked = stackFits || (!sideFits && (minimumHeights <= area.height() || minimumWidths > roomWidth));
    const std::vector<int> lengths = stacked ? shareOut(minimumHeightOf, kSmallestResizable.height(), area.height())
                                             : shareOut(minimumWidthOf, kSmallestResizable.width(), roomWidth);
    int along = 0;
    for (std::size_t k = 0; k < resizable.size(); ++k) {
        QRect &place = arrangement.places[resizable[k]];
        if (stacked) {
            place = QRect(fixedRight, along, std::max(roomWidth, kSmallestResizable.width()), lengths[k]);
            along += place.height();
        } else {
            place = QRect(fixedRight + along, 0, lengths[k], std::max(area.height(), kSmallestResizable.height()));
            along += place.width();
        }
    }
    if (!resizable.empty())
        tallest = std::max(tallest, stacked ? minimumHeights : tallestMinimum);
    const int resizableWidth = resizable.empty() ? 0 : stacked ? widestMinimum : minimumWidths;
    arrangement.needed = QSize(fixedRight + resizableWidth, tallest);
    return arrangement;
}
