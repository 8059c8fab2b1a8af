#pragma once

#include "windows/trend/trend_view.h"

#include "device/board_limits.h"
#include "records/calibration.h"
#include "records/trend_history.h"

#include <QWidget>

#include <array>
#include <optional>
#include <vector>

// The trend plot: one line per channel over a span of time ending at a given moment, a value axis, a time axis
// and a legend "ADC 1" ... "ADC 8", with two cursors and each channel's limits as dashed lines. Each channel is
// reduced to one lowest and highest value per pixel column before it is drawn, so a repaint costs the same however
// long the history is; a line never joins readings across a gap.
//
// Mouse: the wheel zooms the time axis around the pointer (with Ctrl the value axis), dragging pans, Shift+drag
// zooms to the dragged range, a click sets cursor A and Shift+click cursor B, a double click asks for a fit.
// Keys: + and - zoom, Left and Right pan, Home asks for a fit, Escape removes the cursors, Ctrl+Left and Ctrl+Right
// move the cursor set last by one reading, Ctrl+C copies the picture.
// How the time axis is labelled: seconds (or minutes) before now, or the clock time of each tick.
enum class TrendTimeAxis { BeforeNow, Clock };

// A round step for a time axis (0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30 s, then 1, 2, 5, 10, 15, 30 min, then hours):
// the smallest that puts at most `most` steps in `spanMs`.
qint64 trendTickStep(qint64 spanMs, int most);
// The times within [startMs, endMs] that lie a whole number of steps from `originMs`, in order.
std::vector<qint64> trendTicks(qint64 startMs, qint64 endMs, qint64 originMs, qint64 stepMs);

// Values axis ticks on a round step (1, 2 or 5 × 10^n) within [from, to] (either order), at most `most` + 1 of
// them, lowest first; `decimals` the places the step needs.
struct TrendValueTicks {
    std::vector<double> values;
    int decimals = 0;
};
TrendValueTicks trendValueTicks(double from, double to, int most);

class TrendPlot : public QWidget
{
    Q_OBJECT

public:
    explicit TrendPlot(const TrendHistory &history, QWidget *parent = nullptr);

    // Shows another history (another board's); it must outlive the plot or the next call.
    void setHistory(const TrendHistory &history);

    // What is shown: the readings within [endMs - spanMs, endMs].
    void setWindow(qint64 endMs, qint64 spanMs);
    qint64 endMs() const { return m_view.endMs; }
    qint64 spanMs() const { return m_view.spanMs; }
    const TrendView &view() const { return m_view; }
    void setView(const TrendView &view);
    // The live end (time labels count back from it; the view's end unless told), and the wall clock's lead over the
    // monotonic clock the history keeps (clock labels).
    void setNow(qint64 nowMs, qint64 wallMinusMonoMs = 0)
    {
        m_nowMs = nowMs;
        m_wallMinusMonoMs = wallMinusMonoMs;
    }
    void setTimeAxis(TrendTimeAxis axis);
    TrendTimeAxis timeAxis() const { return m_timeAxis; }
    // The label under a time on the axis, as it is labelled now with ticks `stepMs` apart.
    QString timeLabel(qint64 ms, qint64 stepMs) const;

    std::optional<qint64> cursorA() const { return m_cursorA; }
    std::optional<qint64> cursorB() const { return m_cursorB; }
    void placeCursor(bool b, std::optional<qint64> ms);
    void clearCursors();
    // Moves the cursor set last to the next (or previous) reading of any channel.
    void stepCursor(bool forward);

    // The board's calibration: the value axis reads in the unit the channels drawn share (in counts when they
    // differ), the legend names each channel with its unit; the lines are drawn from the counts either way.
    void setCalibration(const BoardCalibration &calibration);
    // A channel's limits, in its unit (the identity's: counts), drawn as dashed lines.
    void setLimits(int channel, std::optional<double> low, std::optional<double> high);
    // The calibration the value axis is labelled in for what is drawn now; the identity when counts.
    ChannelCalibration axisUnits() const;
    // The legend's name of a channel: "ADC 8", or "ADC 8 Supply (V)".
    QString channelLabel(int channel) const;

    // Draws the plot as shown onto any paint device of `size`: a vector device gets one path per channel.
    void paintTo(QPainter &painter, QSize size, bool vector) const;
    // The same below a caption line (an exported picture says what it shows); `size` holds both.
    void paintTo(QPainter &painter, QSize size, bool vector, const QString &caption) const;
    int captionHeight() const;

    static QColor channelColour(int channel);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The operator zoomed or panned (the window then stops following the live end).
    void viewMovedByHand();
    // The operator asked to return to the chosen span (double click, Home).
    void fitRequested();
    void cursorsChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRect plotArea(QSize size) const;
    using Columns = std::array<std::vector<TrendHistory::Column>, kLastChannel + 1>;
    Columns columnsShown(int width) const;
    ChannelCalibration axisUnits(const Columns &columns) const;
    QString axisLabel(double count, const ChannelCalibration &units, bool whole) const;
    void drawAxes(QPainter &painter, const QRect &area, QSize size, const ChannelCalibration &units) const;
    void drawChannel(QPainter &painter, const QRect &area, int channel,
                     const std::vector<TrendHistory::Column> &columns, bool vector) const;
    void drawLimits(QPainter &painter, const QRect &area) const;
    void drawCursors(QPainter &painter, const QRect &area) const;
    void drawLegend(QPainter &painter, const QRect &area) const;
    void moveView(const TrendView &view);
    qint64 msAtPixel(int x) const;

    const TrendHistory *m_history;
    TrendView m_view;
    std::optional<qint64> m_cursorA;
    std::optional<qint64> m_cursorB;
    bool m_lastCursorB = false;
    std::array<std::optional<double>, kLastChannel + 1> m_low{};
    std::array<std::optional<double>, kLastChannel + 1> m_high{};
    BoardCalibration m_calibration;
    // A press of the left button: where, and what was shown then.
    std::optional<QPoint> m_pressAt;
    TrendView m_pressView;
    bool m_dragged = false;
    std::optional<int> m_bandTo; // Shift+drag: the other end of the range, in pixels
    std::optional<qint64> m_nowMs;
    qint64 m_wallMinusMonoMs = 0;
    TrendTimeAxis m_timeAxis = TrendTimeAxis::BeforeNow;
};

// A time axis label: seconds or minutes before the end ("-30 s", "-5 min"), "now" at the end.
QString trendTimeLabel(qint64 msBeforeEnd);
