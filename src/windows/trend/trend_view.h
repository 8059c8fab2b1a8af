#pragma once

#include <QtGlobal>

// What part of the history the trend plot shows: a span of time ending at `endMs` and a range of values, with the
// arithmetic of zooming, panning and turning pixels into times and values. A plain value, tested on its own.
struct TrendView {
    qint64 endMs = 0;
    qint64 spanMs = 60'000;
    double low = 0; // value axis
    double high = 255;

    static constexpr qint64 kMinSpanMs = 100;
    static constexpr qint64 kMaxSpanMs = 3'600'000; // the history holds an hour
    static constexpr double kMinValueRange = 4;
    static constexpr double kLowest = 0;
    static constexpr double kHighest = 255;

    qint64 startMs() const { return endMs - spanMs; }

    // Zooms the time axis by `factor` (below 1 closer, above 1 farther) keeping `anchorMs` where it is on screen.
    void zoomTime(double factor, qint64 anchorMs);
    // Moves the view by `deltaMs` (positive: later).
    void pan(qint64 deltaMs);
    // Shows exactly [fromMs, toMs] (in either order), within the span limits.
    void showRange(qint64 fromMs, qint64 toMs);
    // Zooms the value axis by `factor` keeping `anchor` where it is, within 0..255.
    void zoomValues(double factor, double anchor);
    void fitValues();

    // The time at pixel column `x` of a plot `width` pixels wide, and back.
    qint64 msAt(double x, int width) const;
    double xOf(qint64 ms, int width) const;
    // The value at pixel row `y` of a plot `height` pixels high (0 at the top), and back.
    double valueAt(double y, int height) const;
    double yOf(double value, int height) const;

    bool operator==(const TrendView &) const = default;
};
