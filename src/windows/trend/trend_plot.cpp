#include "windows/trend/trend_plot.h"

#include "records/trend_history.h"

#include <QPainter>

#include <array>

namespace {

constexpr int kTicksX = 6;
constexpr std::array<int, 5> kValueTicks{0, 64, 128, 192, 255};

} // namespace

QString trendTimeLabel(qint64 msBeforeEnd)
{
    if (msBeforeEnd <= 0)
        return QStringLiteral("now");
    if (msBeforeEnd < 120'000)
        return QStringLiteral("-%1 s").arg(double(msBeforeEnd) / 1000.0, 0, 'g', 3);
    return QStringLiteral("-%1 min").arg(double(msBeforeEnd) / 60'000.0, 0, 'g', 3);
}

TrendPlot::TrendPlot(const TrendHistory &history, QWidget *parent)
    : QWidget(parent)
    , m_history(history)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Base);
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

void TrendPlot::setWindow(qint64 endMs, qint64 spanMs)
{
    m_endMs = endMs;
    m_spanMs = std::max<qint64>(1, spanMs);
    update();
}

QRect TrendPlot::plotArea() const
{
    const QFontMetrics metrics = fontMetrics();
    const int left = metrics.horizontalAdvance(QStringLiteral("255")) + 10;
    const int bottom = metrics.height() + 8;
    const int legend = metrics.height() + 8; // the legend's own strip above the plot
    return rect().adjusted(left, legend, -10, -bottom);
}

void TrendPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect area = plotArea();
    if (area.width() < 2 || area.height() < 2)
        return;
    drawAxes(painter, area);
    painter.setClipRect(area.adjusted(0, -1, 1, 1));
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
        drawChannel(painter, area, channel);
    painter.setClipping(false);
    drawLegend(painter, area);
}

void TrendPlot::drawAxes(QPainter &painter, const QRect &area) const
{
    const QColor grid = palette().color(QPalette::Mid);
    const QColor text = palette().color(QPalette::Text);
    const QFontMetrics metrics = fontMetrics();
    for (int value : kValueTicks) {
        const int y = area.bottom() - value * (area.height() - 1) / 255;
        painter.setPen(QPen(grid, 0, Qt::DotLine));
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(text);
        const QString label = QString::number(value);
        painter.drawText(area.left() - 6 - metrics.horizontalAdvance(label), y + metrics.ascent() / 2, label);
    }
    for (int tick = 0; tick <= kTicksX; ++tick) {
        const int x = area.left() + tick * (area.width() - 1) / kTicksX;
        painter.setPen(QPen(grid, 0, Qt::DotLine));
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(text);
        const QString label = trendTimeLabel(m_spanMs * (kTicksX - tick) / kTicksX);
        const int width = metrics.horizontalAdvance(label);
        const int left = std::clamp(x - width / 2, 0, std::max(0, this->width() - width));
        painter.drawText(left, area.bottom() + 4 + metrics.ascent(), label);
    }
    painter.setPen(grid);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void TrendPlot::drawChannel(QPainter &painter, const QRect &area, int channel) const
{
    const int width = area.width();
    const std::vector<TrendHistory::Column> columns =
        m_history.columns(channel, m_endMs - m_spanMs, m_endMs + 1, width);
    // A pause of more than two seconds in the readings (a channel unticked for a while) breaks the line.
    const qint64 gapColumns = std::max<qint64>(1, 2000 * width / m_spanMs);
    const auto yOf = [&area](int value) {
        return area.bottom() - value * (area.height() - 1) / 255;
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
        if (last >= 0 && x - last <= gapColumns) {
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
    // A one-pixel cosmetic pen: a wider pen makes the raster engine stroke an outline of every stroke.
    QPen pen(channelColour(channel), 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawLines(lines.data(), int(lines.size()));
}

void TrendPlot::drawLegend(QPainter &painter, const QRect &area) const
{
    const QFontMetrics metrics = fontMetrics();
    const int swatch = metrics.height() / 2 + 2;
    int x = area.left();
    const int y = 3;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const QString label = QStringLiteral("ADC %1").arg(channel);
        painter.fillRect(QRect(x, y + (metrics.height() - swatch) / 2, swatch, swatch), channelColour(channel));
        x += swatch + 3;
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(x, y + metrics.ascent(), label);
        x += metrics.horizontalAdvance(label) + 10;
    }
}
