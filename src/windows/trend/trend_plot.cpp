#include "windows/trend/trend_plot.h"

#include "records/trend_history.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr int kTicksX = 6;
constexpr int kTicksY = 6;        // at most, on round values
constexpr double kZoomStep = 0.8; // one wheel notch or one key press
constexpr int kClickSlop = 3;     // pixels a click may move and still be a click

} // namespace

TrendValueTicks trendValueTicks(double from, double to, int most)
{
    TrendValueTicks ticks;
    const double low = std::min(from, to);
    const double high = std::max(from, to);
    if (!std::isfinite(low) || !std::isfinite(high) || high <= low || most < 1)
        return ticks;
    const double rough = (high - low) / most;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * magnitude;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= rough) {
            step = factor * magnitude;
            break;
        }
    }
    ticks.decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, kMaxDecimals);
    for (double at = std::ceil(low / step - 1e-9) * step; at <= high + step * 1e-9; at += step)
        ticks.values.push_back(std::abs(at) < step * 1e-9 ? 0.0 : at);
    return ticks;
}

QString trendTimeLabel(qint64 msBeforeEnd)
{
    if (msBeforeEnd == 0)
        return QStringLiteral("now");
    const QString sign = msBeforeEnd > 0 ? QStringLiteral("-") : QStringLiteral("+");
    const qint64 ms = std::abs(msBeforeEnd);
    if (ms < 120'000)
        return sign + QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'g', ms < 10'000 ? 3 : 4);
    return sign + QStringLiteral("%1 min").arg(double(ms) / 60'000.0, 0, 'g', 3);
}

qint64 trendTickStep(qint64 spanMs, int most)
{
    static constexpr std::array<qint64, 17> kSteps{100,     200,     500,       1000,      2000,     5000,
                                                   10'000,  20'000,  30'000,    60'000,    120'000,  300'000,
                                                   600'000, 900'000, 1'800'000, 3'600'000, 7'200'000};
    for (const qint64 step : kSteps) {
        if (spanMs / step <= most)
            return step;
    }
    // Beyond: whole hours.
    return 3'600'000 * ((spanMs / most + 3'599'999) / 3'600'000);
}

std::vector<qint64> trendTicks(qint64 startMs, qint64 endMs, qint64 originMs, qint64 stepMs)
{
    std::vector<qint64> ticks;
    if (stepMs <= 0 || endMs < startMs)
        return ticks;
    // The first whole step at or after the start, counted from the origin either way.
    const qint64 offset = startMs - originMs;
    qint64 steps = offset / stepMs;
    if (offset > 0 && offset % stepMs != 0)
        ++steps;
    for (qint64 at = originMs + steps * stepMs; at <= endMs; at += stepMs)
        ticks.push_back(at);
    return ticks;
}

TrendPlot::TrendPlot(const TrendHistory &history, QWidget *parent)
    : QWidget(parent)
    , m_history(&history)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
}

QColor TrendPlot::channelColour(int channel)
{
    // Eight colours that stay apart for most kinds of colour vision.
    static const std::array<QColor, kLastChannel + 1> colours{QColor(),
                                                              QColor(0x1f, 0x77, 0xb4),
                                                              QColor(0xff, 0x7f, 0x0e),
                                                              QColor(0x2c, 0xa0, 0x2c),
                                                              QColor(0xd6, 0x27, 0x28),
                                                              QColor(0x94, 0x67, 0xbd),
                                                              QColor(0x8c, 0x56, 0x4b),
                                                              QColor(0xe3, 0x77, 0xc2),
                                                              QColor(0x17, 0xbe, 0xcf)};
    return colours.at(std::size_t(channel));
}

QSize TrendPlot::sizeHint() const
{
    return {520, 240};
}

QSize TrendPlot::minimumSizeHint() const
{
    return {200, 120};
}

void TrendPlot::setHistory(const TrendHistory &history)
{
    m_history = &history;
    update();
}

void TrendPlot::setWindow(qint64 endMs, qint64 spanMs)
{
    TrendView view = m_view;
    view.endMs = endMs;
    view.spanMs = std::max<qint64>(1, spanMs);
    setView(view);
}

void TrendPlot::setView(const TrendView &view)
{
    if (view == m_view)
        return;
    m_view = view;
    update();
}

void TrendPlot::moveView(const TrendView &view)
{
    setView(view);
    Q_EMIT viewMovedByHand();
}

void TrendPlot::placeCursor(bool b, std::optional<qint64> ms)
{
    (b ? m_cursorB : m_cursorA) = ms;
    m_lastCursorB = b;
    update();
    Q_EMIT cursorsChanged();
}

void TrendPlot::clearCursors()
{
    m_cursorA.reset();
    m_cursorB.reset();
    update();
    Q_EMIT cursorsChanged();
}

void TrendPlot::stepCursor(bool forward)
{
    const std::optional<qint64> at = m_lastCursorB ? m_cursorB : m_cursorA;
    if (!at)
        return;
    static const std::vector<int> everyChannel{1, 2, 3, 4, 5, 6, 7, 8};
    if (const std::optional<qint64> next = m_history->neighbourTime(everyChannel, *at, forward))
        placeCursor(m_lastCursorB, next);
}

void TrendPlot::setLimits(int channel, std::optional<double> low, std::optional<double> high)
{
    m_low.at(std::size_t(channel)) = low;
    m_high.at(std::size_t(channel)) = high;
    update();
}

void TrendPlot::setCalibration(const BoardCalibration &calibration)
{
    m_calibration = calibration;
    update();
}

QString TrendPlot::channelLabel(int channel) const
{
    const ChannelCalibration &units = m_calibration.channel(channel);
    QString label = QStringLiteral("ADC %1").arg(channel);
    if (!units.name.isEmpty())
        label += u' ' + units.name;
    if (!units.unit.isEmpty())
        label += QStringLiteral(" (%1)").arg(units.unit);
    return label;
}

TrendPlot::Columns TrendPlot::columnsShown(int width) const
{
    Columns columns;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
        columns[std::size_t(channel)] = m_history->columns(channel, m_view.startMs(), m_view.endMs + 1, width);
    return columns;
}

ChannelCalibration TrendPlot::axisUnits(const Columns &columns) const
{
    // The calibration every channel drawn shares (its name aside); counts when they differ or none is drawn.
    std::optional<ChannelCalibration> shared;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const auto &drawn = columns[std::size_t(channel)];
        if (std::none_of(drawn.begin(), drawn.end(), [](const TrendHistory::Column &c) { return c.valid; }))
            continue;
        ChannelCalibration units = m_calibration.channel(channel);
        units.name.clear();
        if (shared && !(*shared == units))
            return {};
        shared = units;
    }
    return shared.value_or(ChannelCalibration());
}

ChannelCalibration TrendPlot::axisUnits() const
{
    return axisUnits(columnsShown(std::max(1, plotArea(size()).width())));
}

QString TrendPlot::axisLabel(double count, const ChannelCalibration &units, bool whole) const
{
    if (units.isIdentity())
        return whole ? QString::number(std::lround(count)) : QString::number(count, 'f', 1);
    // Closer in, one place more than a count's step needs.
    ChannelCalibration finer = units;
    finer.decimals = std::min(kMaxDecimals, units.decimals + (whole ? 0 : 1));
    return finer.valueText(count * units.scale + units.offset);
}

QRect TrendPlot::plotArea(QSize size) const
{
    const QFontMetrics metrics = fontMetrics();
    // Room for the widest value label the calibrations may ask for.
    int widest = metrics.horizontalAdvance(QStringLiteral("255.5"));
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const ChannelCalibration &units = m_calibration.channel(channel);
        if (units.isIdentity())
            continue;
        for (const double count : {TrendView::kLowest, TrendView::kHighest})
            widest = std::max(widest, metrics.horizontalAdvance(axisLabel(count, units, false)));
    }
    const int left = widest + 10;
    const int bottom = metrics.height() + 8;
    const int legend = metrics.height() + 8; // the legend's own strip above the plot
    return QRect(QPoint(0, 0), size).adjusted(left, legend, -10, -bottom);
}

qint64 TrendPlot::msAtPixel(int x) const
{
    const QRect area = plotArea(size());
    return m_view.msAt(double(std::clamp(x, area.left(), area.right()) - area.left()), area.width());
}

void TrendPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintTo(painter, size(), false);
    if (m_pressAt && m_bandTo) {
        const QRect area = plotArea(size());
        QColor band = palette().color(QPalette::Highlight);
        band.setAlpha(60);
        const int from = std::clamp(m_pressAt->x(), area.left(), area.right());
        const int to = std::clamp(*m_bandTo, area.left(), area.right());
        painter.fillRect(QRect(QPoint(std::min(from, to), area.top()), QPoint(std::max(from, to), area.bottom())),
                         band);
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TrendPlot::setTimeAxis(TrendTimeAxis axis)
{
    m_timeAxis = axis;
    update();
}

QString TrendPlot::timeLabel(qint64 ms, qint64 stepMs) const
{
    if (m_timeAxis == TrendTimeAxis::BeforeNow)
        return trendTimeLabel(m_nowMs.value_or(m_view.endMs) - ms);
    const QDateTime clock = QDateTime::fromMSecsSinceEpoch(ms + m_wallMinusMonoMs);
    return clock.toString(stepMs < 1000     ? QStringLiteral("HH:mm:ss.zzz")
                          : stepMs < 60'000 ? QStringLiteral("HH:mm:ss")
                                            : QStringLiteral("HH:mm"));
}

int TrendPlot::captionHeight() const
{
    return fontMetrics().height() + 8;
}

void TrendPlot::paintTo(QPainter &painter, QSize size, bool vector, const QString &caption) const
{
    const int strip = captionHeight();
    painter.fillRect(QRect(0, 0, size.width(), strip), palette().base());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRect(8, 0, size.width() - 16, strip), Qt::AlignVCenter | Qt::AlignLeft, caption);
    painter.save();
    painter.translate(0, strip);
    paintTo(painter, QSize(size.width(), size.height() - strip), vector);
    painter.restore();
}

void TrendPlot::paintTo(QPainter &painter, QSize size, bool vector) const
{
    painter.fillRect(QRect(QPoint(0, 0), size), palette().base());
    const QRect area = plotArea(size);
    if (area.width() < 2 || area.height() < 2)
        return;
    const Columns columns = columnsShown(area.width());
    drawAxes(painter, area, size, axisUnits(columns));
    painter.save();
    painter.setClipRect(area.adjusted(0, -1, 1, 1));
    drawLimits(painter, area);
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
        drawChannel(painter, area, channel, columns[std::size_t(channel)], vector);
    drawCursors(painter, area);
    painter.restore();
    drawLegend(painter, area);
}

void TrendPlot::drawAxes(QPainter &painter, const QRect &area, QSize size, const ChannelCalibration &units) const
{
    const QColor grid = palette().color(QPalette::Mid);
    const QColor text = palette().color(QPalette::Text);
    const QFontMetrics metrics = fontMetrics();
    // Round values in the axis's unit (counts for the identity), wherever they fall among the counts.
    const TrendValueTicks ticks =
        trendValueTicks(m_view.low * units.scale + units.offset, m_view.high * units.scale + units.offset, kTicksY);
    for (const double value : ticks.values) {
        const double count = (value - units.offset) / units.scale;
        const int y = area.top() + int(std::lround(m_view.yOf(count, area.height())));
        painter.setPen(QPen(grid, 0, Qt::DotLine));
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(text);
        ChannelCalibration shown = units;
        shown.decimals = ticks.decimals;
        const QString label = shown.valueText(value);
        painter.drawText(area.left() - 6 - metrics.horizontalAdvance(label), y + metrics.ascent() / 2, label);
    }
    // Ticks on round steps: counted back from now, or on the local clock's whole steps (from its midnight).
    const qint64 step = trendTickStep(m_view.spanMs, kTicksX);
    qint64 origin = m_nowMs.value_or(m_view.endMs);
    if (m_timeAxis == TrendTimeAxis::Clock) {
        const QDate day = QDateTime::fromMSecsSinceEpoch(m_view.startMs() + m_wallMinusMonoMs).date();
        origin = day.startOfDay().toMSecsSinceEpoch() - m_wallMinusMonoMs;
    }
    int labelledUpTo = std::numeric_limits<int>::min();
    for (const qint64 at : trendTicks(m_view.startMs(), m_view.endMs, origin, step)) {
        const int x = area.left() + int(std::lround(m_view.xOf(at, area.width())));
        painter.setPen(QPen(grid, 0, Qt::DotLine));
        painter.drawLine(x, area.top(), x, area.bottom());
        const QString label = timeLabel(at, step);
        const int width = metrics.horizontalAdvance(label);
        // Kept whole within the picture, and never over the label before it.
        const int left = std::clamp(x - width / 2, 0, std::max(0, size.width() - width));
        if (left < labelledUpTo)
            continue;
        painter.setPen(text);
        painter.drawText(left, area.bottom() + 4 + metrics.ascent(), label);
        labelledUpTo = left + width + metrics.horizontalAdvance(u' ');
    }
    painter.setPen(grid);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void TrendPlot::drawChannel(QPainter &painter, const QRect &area, int channel,
                            const std::vector<TrendHistory::Column> &columns, bool vector) const
{
    const int width = area.width();
    const qint64 from = m_view.startMs();
    // A pause of more than two seconds in the readings (a channel unticked for a while) breaks the line, and so
    // does a gap marked in the history (requests off, no board, the board lost).
    const qint64 gapColumns = std::max<qint64>(1, 2000 * width / m_view.spanMs);
    const int height = area.height();
    const auto yOf = [&](int value) {
        return area.top() + int(std::lround(m_view.yOf(value, height)));
    };
    const auto timeOf = [&](qint64 column) {
        return from + column * m_view.spanMs / std::max(1, width);
    };
    // Each column is one upright stroke from its lowest to its highest reading; a stroke is joined to the one
    // before it only where they do not already touch. Every pixel is drawn about once however busy the signal.
    std::vector<QLine> lines;
    lines.reserve(std::size_t(width) * 2);
    qint64 last = -1;
    for (int x = 0; x < width; ++x) {
        const TrendHistory::Column &column = columns[std::size_t(x)];
        if (!column.valid)
            continue;
        const int px = area.left() + x;
        if (last >= 0 && x - last <= gapColumns && !m_history->hasGapBetween(timeOf(last), timeOf(x + 1))) {
            const TrendHistory::Column &before = columns[std::size_t(last)];
            const int from = area.left() + int(last);
            if (before.max < column.min) {
                lines.emplace_back(from, yOf(before.max), px, yOf(column.min));
            } else if (before.min > column.max) {
                lines.emplace_back(from, yOf(before.min), px, yOf(column.max));
            } else if (x - last > 1) {
                const int level = yOf(std::clamp(column.min, before.min, before.max));
                lines.emplace_back(from, level, px, level);
            }
        }
        lines.emplace_back(px, yOf(column.min), px, yOf(column.max));
        last = x;
    }
    if (lines.empty())
        return;
    // A one-pixel cosmetic pen: a wider pen makes the raster engine stroke an outline of every stroke.
    QPen pen(channelColour(channel), 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    if (!vector) {
        painter.drawLines(lines.data(), int(lines.size()));
        return;
    }
    // A vector picture gets one path per channel, which drawing programs handle as one line.
    QPainterPath path;
    for (const QLine &line : lines) {
        path.moveTo(line.p1());
        path.lineTo(line.p2() == line.p1() ? QPointF(line.p2()) + QPointF(0.01, 0) : QPointF(line.p2()));
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void TrendPlot::drawLimits(QPainter &painter, const QRect &area) const
{
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const ChannelCalibration &units = m_calibration.channel(channel);
        for (const std::optional<double> &limit : {m_low[std::size_t(channel)], m_high[std::size_t(channel)]}) {
            if (!limit)
                continue;
            // Where the limit lies among the counts the lines are drawn from.
            const double count = (*limit - units.offset) / units.scale;
            const double at = m_view.yOf(count, area.height());
            if (!std::isfinite(at))
                continue;
            const int y = area.top() + int(std::lround(std::clamp(at, -1.0e6, 1.0e6)));
            painter.setPen(QPen(channelColour(channel), 1, Qt::DashLine));
            painter.drawLine(area.left(), y, area.right(), y);
        }
    }
}

void TrendPlot::drawCursors(QPainter &painter, const QRect &area) const
{
    const QFontMetrics metrics = fontMetrics();
    for (const auto &[cursor, name] : {std::pair{m_cursorA, "A"}, std::pair{m_cursorB, "B"}}) {
        if (!cursor)
            continue;
        const int x = area.left() + int(std::lround(m_view.xOf(*cursor, area.width())));
        painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::SolidLine));
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.drawText(x + 3, area.top() + metrics.ascent() + 1, QLatin1String(name));
    }
}

void TrendPlot::drawLegend(QPainter &painter, const QRect &area) const
{
    const QFontMetrics metrics = fontMetrics();
    const int swatch = metrics.height() / 2 + 2;
    int x = area.left();
    const int y = 3;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const QString label = channelLabel(channel);
        painter.fillRect(QRect(x, y + (metrics.height() - swatch) / 2, swatch, swatch), channelColour(channel));
        x += swatch + 3;
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(x, y + metrics.ascent(), label);
        x += metrics.horizontalAdvance(label) + 10;
    }
}

void TrendPlot::wheelEvent(QWheelEvent *event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    const double factor = std::pow(kZoomStep, notches);
    TrendView view = m_view;
    const QRect area = plotArea(size());
    if (event->modifiers() & Qt::ControlModifier) {
        const double y = std::clamp(event->position().y() - area.top(), 0.0, double(area.height() - 1));
        view.zoomValues(factor, view.valueAt(y, area.height()));
    } else {
        view.zoomTime(factor, msAtPixel(int(event->position().x())));
    }
    moveView(view);
    event->accept();
}

void TrendPlot::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressAt = event->position().toPoint();
    m_pressView = m_view;
    m_dragged = false;
    m_bandTo.reset();
}

void TrendPlot::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressAt)
        return;
    const QPoint at = event->position().toPoint();
    if (!m_dragged && (at - *m_pressAt).manhattanLength() < kClickSlop)
        return;
    m_dragged = true;
    if (event->modifiers() & Qt::ShiftModifier) {
        m_bandTo = at.x();
        update();
        return;
    }
    m_bandTo.reset();
    const QRect area = plotArea(size());
    TrendView view = m_pressView;
    view.pan(-qint64(
        std::llround(double(at.x() - m_pressAt->x()) * double(view.spanMs) / double(std::max(1, area.width() - 1)))));
    moveView(view);
}

void TrendPlot::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_pressAt || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const QPoint pressed = *m_pressAt;
    m_pressAt.reset();
    if (m_bandTo) {
        TrendView view = m_view;
        view.showRange(msAtPixel(pressed.x()), msAtPixel(*m_bandTo));
        m_bandTo.reset();
        moveView(view);
        return;
    }
    if (!m_dragged)
        placeCursor(event->modifiers() & Qt::ShiftModifier, msAtPixel(pressed.x()));
}

void TrendPlot::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT fitRequested();
}

void TrendPlot::keyPressEvent(QKeyEvent *event)
{
    TrendView view = m_view;
    const qint64 middle = view.endMs - view.spanMs / 2;
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setImage(grab().toImage());
    } else if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal) {
        view.zoomTime(kZoomStep, middle);
        moveView(view);
    } else if (event->key() == Qt::Key_Minus) {
        view.zoomTime(1 / kZoomStep, middle);
        moveView(view);
    } else if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && control) {
        stepCursor(event->key() == Qt::Key_Right);
    } else if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        view.pan((event->key() == Qt::Key_Right ? 1 : -1) * std::max<qint64>(1, view.spanMs / 10));
        moveView(view);
    } else if (event->key() == Qt::Key_Home) {
        Q_EMIT fitRequested();
    } else if (event->key() == Qt::Key_Escape && (m_cursorA || m_cursorB)) {
        clearCursors();
    } else {
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}
