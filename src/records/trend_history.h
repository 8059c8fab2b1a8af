#pragma once

#include "device/board_limits.h"
#include "records/calibration.h"

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Every analog reading shown, per channel, with the time it was received: a ring of at most kCapacity readings
// per channel (one hour at ten readings a second), the oldest dropped first. Appending is O(1); the questions
// below look only at the readings within the span asked about.
class TrendHistory
{
public:
    static constexpr qsizetype kCapacity = 36'000;

    struct Reading {
        qint64 ms = 0;          // when it was received, on a monotonic clock
        std::int32_t value = 0; // as the board sent it
    };

    // Times must not go backwards within a channel.
    void append(int channel, qint64 ms, std::int32_t value);
    void clear();

    qsizetype size(int channel) const { return m_channels.at(std::size_t(channel)).count; }
    // The i-th kept reading of a channel, oldest first.
    Reading at(int channel, qsizetype index) const;

    struct Statistics {
        std::int32_t last = 0;
        std::int32_t min = 0;
        std::int32_t max = 0;
        double mean = 0;
        qsizetype count = 0;
    };
    // Over the readings received within [fromMs, toMs]; nothing when there is none.
    std::optional<Statistics> statistics(int channel, qint64 fromMs, qint64 toMs) const;

    // The readings within [fromMs, toMs) cut into `columns` equal slices of time, each reduced to the lowest and
    // highest value in it (held within 0..255, as the meters show them), so drawing costs the same whatever the
    // history holds. A slice without readings is not valid.
    struct Column {
        std::int32_t min = 0;
        std::int32_t max = 0;
        bool valid = false;
    };
    std::vector<Column> columns(int channel, qint64 fromMs, qint64 toMs, int columns) const;

    // The readings within [fromMs, toMs], oldest first.
    std::vector<Reading> readings(int channel, qint64 fromMs, qint64 toMs) const;
    // The last reading at or before `ms`; nothing when there is none.
    std::optional<Reading> readingAtOrBefore(int channel, qint64 ms) const;
    // The time of the nearest reading of any of `channels` after (forward) or before `ms`; nothing at the end.
    std::optional<qint64> neighbourTime(const std::vector<int> &channels, qint64 ms, bool forward) const;
    // How many readings within [fromMs, toMs] lie below `low` or above `high` (either may be absent), both in the
    // unit of `units` (counts for the identity), judged as the alarms judge them.
    qsizetype countOutside(int channel, qint64 fromMs, qint64 toMs, std::optional<double> low,
                           std::optional<double> high, const ChannelCalibration &units = {}) const;

    // Marks a moment from which readings stopped coming (requests off, no board, a board lost): lines are never
    // drawn across it. At most kGapCapacity are kept, the oldest dropped first.
    void markGap(qint64 ms);
    // Whether a gap was marked within (fromMs, toMs].
    bool hasGapBetween(qint64 fromMs, qint64 toMs) const;
    static constexpr qsizetype kGapCapacity = 4096;

private:
    struct Ring {
        std::vector<Reading> readings; // grows to kCapacity, then wraps
        qsizetype first = 0;           // index of the oldest
        qsizetype count = 0;
    };
    // The index (oldest first) of the first reading at or after `ms`.
    qsizetype firstAtOrAfter(const Ring &ring, qint64 ms) const;
    const Reading &reading(const Ring &ring, qsizetype index) const;
    // Calls visit(reading) for the readings from `index` on, oldest first, until it returns false.
    template<typename Visit>
    void forEachFrom(const Ring &ring, qsizetype index, Visit &&visit) const;

    std::array<Ring, kLastChannel + 1> m_channels{};
    std::vector<qint64> m_gaps; // ascending
};
