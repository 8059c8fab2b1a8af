#include "records/trend_history.h"

#include <algorithm>

void TrendHistory::append(int channel, qint64 ms, std::int32_t value)
{
    Ring &ring = m_channels.at(std::size_t(channel));
    if (qsizetype(ring.readings.size()) < kCapacity) {
        ring.readings.push_back({ms, value});
        ++ring.count;
        return;
    }
    ring.readings[std::size_t(ring.first)] = {ms, value};
    ring.first = (ring.first + 1) % kCapacity;
}

void TrendHistory::clear()
{
    m_channels = {};
    m_gaps.clear();
}

void TrendHistory::markGap(qint64 ms)
{
    if (!m_gaps.empty() && ms < m_gaps.back())
        return;
    if (qsizetype(m_gaps.size()) >= kGapCapacity)
        m_gaps.erase(m_gaps.begin(), m_gaps.begin() + kGapCapacity / 4);
    m_gaps.push_back(ms);
}

bool TrendHistory::hasGapBetween(qint64 fromMs, qint64 toMs) const
{
    const auto after = std::upper_bound(m_gaps.begin(), m_gaps.end(), fromMs);
    return after != m_gaps.end() && *after <= toMs;
}

std::vector<TrendHistory::Reading> TrendHistory::readings(int channel, qint64 fromMs, qint64 toMs) const
{
    const Ring &ring = m_channels.at(std::size_t(channel));
    std::vector<Reading> result;
    forEachFrom(ring, firstAtOrAfter(ring, fromMs), [&](const Reading &r) {
        if (r.ms > toMs)
            return false;
        result.push_back(r);
        return true;
    });
    return result;
}

std::optional<TrendHistory::Reading> TrendHistory::readingAtOrBefore(int channel, qint64 ms) const
{
    const Ring &ring = m_channels.at(std::size_t(channel));
    const qsizetype after = firstAtOrAfter(ring, ms + 1);
    if (after == 0)
        return std::nullopt;
    return reading(ring, after - 1);
}

std::optional<qint64> TrendHistory::neighbourTime(const std::vector<int> &channels, qint64 ms, bool forward) const
{
    std::optional<qint64> nearest;
    for (const int channel : channels) {
        const Ring &ring = m_channels.at(std::size_t(channel));
        const qsizetype index = forward ? firstAtOrAfter(ring, ms + 1) : firstAtOrAfter(ring, ms) - 1;
        if (index < 0 || index >= ring.count)
            continue;
        const qint64 time = reading(ring, index).ms;
        if (!nearest || (forward ? time < *nearest : time > *nearest))
            nearest = time;
    }
    return nearest;
}

qsizetype TrendHistory::countOutside(int channel, qint64 fromMs, qint64 toMs, std::optional<double> low,
                                     std::optional<double> high, const ChannelCalibration &units) const
{
    if (!low && !high)
        return 0;
    const Ring &ring = m_channels.at(std::size_t(channel));
    qsizetype outside = 0;
    forEachFrom(ring, firstAtOrAfter(ring, fromMs), [&](const Reading &r) {
        if (r.ms > toMs)
            return false;
        const double value = units.value(r.value);
        if ((low && value < *low) || (high && value > *high))
            ++outside;
        return true;
    });
    return outside;
}

const TrendHistory::Reading &TrendHistory::reading(const Ring &ring, qsizetype index) const
{
    return ring.readings[std::size_t((ring.first + index) % qsizetype(ring.readings.size()))];
}

TrendHistory::Reading TrendHistory::at(int channel, qsizetype index) const
{
    return reading(m_channels.at(std::size_t(channel)), index);
}

qsizetype TrendHistory::firstAtOrAfter(const Ring &ring, qint64 ms) const
{
    qsizetype low = 0;
    qsizetype high = ring.count;
    while (low < high) {
        const qsizetype mid = low + (high - low) / 2;
        if (reading(ring, mid).ms < ms)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

template<typename Visit>
void TrendHistory::forEachFrom(const Ring &ring, qsizetype index, Visit &&visit) const
{
    // The ring in at most two contiguous runs, oldest first, without a division per reading.
    const auto size = qsizetype(ring.readings.size());
    for (qsizetype i = index; i < ring.count;) {
        const qsizetype at = (ring.first + i) % std::max<qsizetype>(1, size);
        const qsizetype run = std::min(ring.count - i, size - at);
        const Reading *readings = ring.readings.data() + at;
        for (qsizetype k = 0; k < run; ++k) {
            if (!visit(readings[k]))
                return;
        }
        i += run;
    }
}

std::optional<TrendHistory::Statistics> TrendHistory::statistics(int channel, qint64 fromMs, qint64 toMs) const
{
    const Ring &ring = m_channels.at(std::size_t(channel));
    Statistics stats;
    double sum = 0;
    forEachFrom(ring, firstAtOrAfter(ring, fromMs), [&](const Reading &r) {
        if (r.ms > toMs)
            return false;
        stats.min = stats.count == 0 ? r.value : std::min(stats.min, r.value);
        stats.max = stats.count == 0 ? r.value : std::max(stats.max, r.value);
        stats.last = r.value;
        sum += r.value;
        ++stats.count;
        return true;
    });
    if (stats.count == 0)
        return std::nullopt;
    stats.mean = sum / double(stats.count);
    return stats;
}

std::vector<TrendHistory::Column> TrendHistory::columns(int channel, qint64 fromMs, qint64 toMs, int columns) const
{
    std::vector<Column> result(std::size_t(std::max(0, columns)));
    const Ring &ring = m_channels.at(std::size_t(channel));
    const qint64 span = toMs - fromMs;
    if (columns <= 0 || span <= 0)
        return result;
    // Column c holds the readings from fromMs + c * span / columns on; its end is worked out once per column.
    int column = 0;
    qint64 columnEnd = fromMs + span / columns;
    forEachFrom(ring, firstAtOrAfter(ring, fromMs), [&](const Reading &r) {
        if (r.ms >= toMs)
            return false;
        while (r.ms >= columnEnd && column + 1 < columns) {
            ++column;
            columnEnd = fromMs + (qint64(column) + 1) * span / columns;
        }
        const std::int32_t value = std::clamp<std::int32_t>(r.value, 0, 255);
        Column &c = result[std::size_t(column)];
        c.min = c.valid ? std::min(c.min, value) : value;
        c.max = c.valid ? std::max(c.max, value) : value;
        c.valid = true;
        return true;
    });
    return result;
}
