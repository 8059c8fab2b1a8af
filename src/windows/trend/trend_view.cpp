#include "windows/trend/trend_view.h"

#include <algorithm>
#include <cmath>

void TrendView::zoomTime(double factor, qint64 anchorMs)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const qint64 span = std::clamp<qint64>(qint64(std::llround(double(spanMs) * factor)), kMinSpanMs, kMaxSpanMs);
    // The anchor keeps its share of the span on each side.
    const double share = spanMs > 0 ? double(endMs - anchorMs) / double(spanMs) : 0.0;
    endMs = anchorMs + qint64(std::llround(share * double(span)));
    spanMs = span;
}

void TrendView::pan(qint64 deltaMs)
{
    endMs += deltaMs;
}

void TrendView::showRange(qint64 fromMs, qint64 toMs)
{
    if (fromMs > toMs)
        std::swap(fromMs, toMs);
    const qint64 span = std::clamp<qint64>(toMs - fromMs, kMinSpanMs, kMaxSpanMs);
    endMs = fromMs + (toMs - fromMs + span) / 2; // centred on the range when it is too narrow or too wide
    spanMs = span;
}

void TrendView::zoomValues(double factor, double anchor)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const double range = std::clamp((high - low) * factor, kMinValueRange, kHighest - kLowest);
    const double share = high > low ? (anchor - low) / (high - low) : 0.5;
    double newLow = anchor - share * range;
    newLow = std::clamp(newLow, kLowest, kHighest - range);
    low = newLow;
    high = newLow + range;
}

void TrendView::fitValues()
{
    low = kLowest;
    high = kHighest;
}

qint64 TrendView::msAt(double x, int width) const
{
    if (width <= 1)
        return endMs;
    return startMs() + qint64(std::llround(x * double(spanMs) / double(width - 1)));
}

double TrendView::xOf(qint64 ms, int width) const
{
    return double(ms - startMs()) * double(std::max(1, width - 1)) / double(spanMs);
}

double TrendView::valueAt(double y, int height) const
{
    if (height <= 1)
        return low;
    return high - y * (high - low) / double(height - 1);
}

double TrendView::yOf(double value, int height) const
{
    return (high - value) * double(std::max(1, height - 1)) / (high - low);
}
