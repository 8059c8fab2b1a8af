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
    if (count > 0 && given < room)
        lengths[count - 1] += room - given;
    return lengths;
}

// Fixed windows in columns: each column's windows one under the other, the columns side by side from the left.
struct Packing {
    std::vector<QPoint> tops; // per fixed window
    int right = 0;            // where the last column ends
    int tallest = 0;          // the tallest column's height
};

// Every way of putting the fixed windows, in their order, each under the windows of a column it fits under (in
// `height`) or in a new column; the first is the one that takes the first column with room. Few windows are fixed,
// but the count is bounded all the same.
std::vector<Packing> packings(const std::vector<QSize> &sizes, int height)
{
    constexpr std::size_t kMostPackings = 4096;
    struct Column {
        int width = 0;
        int height = 0;
    };
    std::vector<Packing> found;
    std::vector<Column> columns;
    std::vector<std::pair<std::size_t, int>> at(sizes.size()); // column and top of each window
    const auto place = [&](const auto &self, std::size_t next) -> void {
        if (found.size() >= kMostPackings)
            return;
        if (next == sizes.size()) {
            Packing packing;
            std::vector<int> lefts;
            for (const Column &column : columns) {
                lefts.push_back(packing.right);
                packing.right += column.width;
                packing.tallest = std::max(packing.tallest, column.height);
            }
            for (const auto &[column, top] : at)
                packing.tops.emplace_back(lefts[column], top);
            found.push_back(std::move(packing));
            return;
        }
        const QSize size = sizes[next];
        for (std::size_t c = 0; c <= columns.size(); ++c) {
            const bool fresh = c == columns.size();
            if (!fresh && columns[c].height + size.height() > height)
                continue;
            if (fresh)
                columns.push_back(Column{});
            const Column before = columns[c];
            at[next] = {c, columns[c].height};
            columns[c].height += size.height();
            columns[c].width = std::max(columns[c].width, size.width());
            self(self, next + 1);
            columns[c] = before;
            if (fresh)
                columns.pop_back();
        }
    };
    place(place, 0);
    return found;
}

} // namespace

WindowArrangement arrangeWindows(const std::vector<WindowToPlace> &windows, QSize area)
{
    WindowArrangement arrangement;
    arrangement.places.resize(windows.size());

    std::vector<std::size_t> fixed;
    std::vector<QSize> fixedSizes;
    std::vector<std::size_t> resizable;
    std::vector<int> minimumWidthOf;
    std::vector<int> minimumHeightOf;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i].resizable) {
            fixed.push_back(i);
            fixedSizes.push_back(windows[i].size);
            continue;
        }
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
    // Whether the resizable ones fit in `room` at their minimums: one above the other, or side by side.
    const auto stackFits = [&](QSize room) {
        return minimumHeights <= room.height() && widestMinimum <= room.width();
    };
    const auto sideFits = [&](QSize room) {
        return minimumWidths <= room.width() && tallestMinimum <= room.height();
    };

    // The resizable ones get the room right of the fixed ones or the room under them, whichever is larger; of the
    // ways to put the fixed ones, the one that keeps them inside, then holds the resizable ones whole, then leaves
    // the largest room (the first of equals: each fixed one in the first column with room for it).
    const std::vector<Packing> candidates = packings(fixedSizes, area.height());
    const Packing *chosen = nullptr;
    QRect room;
    std::int64_t bestScore = -1;
    for (const Packing &packing : candidates) {
        const bool inside = packing.right <= area.width() && packing.tallest <= area.height();
        const QRect beside(packing.right, 0, area.width() - packing.right, area.height());
        const QRect under(0, packing.tallest, area.width(), area.height() - packing.tallest);
        for (const QRect &candidate : {beside, under}) {
            const QSize size = candidate.size();
            const bool whole = resizable.empty() || stackFits(size) || sideFits(size);
            const std::int64_t roomArea = size.isEmpty() ? 0 : std::int64_t(size.width()) * std::int64_t(size.height());
            // Below 2^40 whatever the screen: the two choices above it.
            const std::int64_t score = (std::int64_t(inside) << 42) + (std::int64_t(whole) << 41) + roomArea;
            if (score > bestScore) {
                bestScore = score;
                chosen = &packing;
                room = candidate;
            }
        }
    }
    int fixedRight = 0;
    int tallest = 0;
    if (chosen) {
        for (std::size_t k = 0; k < fixed.size(); ++k)
            arrangement.places[fixed[k]] = QRect(chosen->tops[k], fixedSizes[k]);
        fixedRight = chosen->right;
        tallest = chosen->tallest;
    }
    const bool besideFixed = room.top() == 0 && !fixed.empty();

    // Resizable windows: one above the other while their smallest sizes fit, else side by side; the spare room
    // shared out evenly, each at least its minimum while there is room for that, else cut to the room (a window
    // past the edge makes the workspace scroll). Only a room with nothing in it gets them at kSmallestResizable.
    const QSize roomSize = room.size();
    const bool stacked =
        stackFits(roomSize) ||
        (!sideFits(roomSize) && (minimumHeights <= roomSize.height() || minimumWidths > roomSize.width()));
    const int count = int(resizable.size());
    const auto floorIn = [count](int length, int smallest) {
        return length <= 0 ? smallest : std::max(1, std::min(smallest, length / std::max(1, count)));
    };
    const auto across = [](int length, int smallest) {
        return length > 0 ? length : smallest;
    };
    const std::vector<int> lengths =
        stacked ? shareOut(minimumHeightOf, floorIn(roomSize.height(), kSmallestResizable.height()), roomSize.height())
                : shareOut(minimumWidthOf, floorIn(roomSize.width(), kSmallestResizable.width()), roomSize.width());
    int along = 0;
    for (std::size_t k = 0; k < resizable.size(); ++k) {
        QRect &place = arrangement.places[resizable[k]];
        if (stacked) {
            place = QRect(room.left(), room.top() + along, across(roomSize.width(), kSmallestResizable.width()),
                          lengths[k]);
            along += place.height();
        } else {
            place = QRect(room.left() + along, room.top(), lengths[k],
                          across(roomSize.height(), kSmallestResizable.height()));
            along += place.width();
        }
    }
    const int resizableWidth = resizable.empty() ? 0 : stacked ? widestMinimum : minimumWidths;
    const int resizableHeight = resizable.empty() ? 0 : stacked ? minimumHeights : tallestMinimum;
    arrangement.needed = besideFixed || fixed.empty()
                             ? QSize(fixedRight + resizableWidth, std::max(tallest, resizableHeight))
                             : QSize(std::max(fixedRight, resizableWidth), tallest + resizableHeight);
    return arrangement;
}
