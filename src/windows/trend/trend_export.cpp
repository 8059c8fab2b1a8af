#include "windows/trend/trend_export.h"

#include "records/record_writer.h"
#include "records/trend_history.h"
#include "windows/trend/trend_plot.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <limits>

namespace {

// Local times of readings, the date and zone part formatted once a second.
class TimeText
{
public:
    void append(QByteArray &out, qint64 wallMs)
    {
        const qint64 second = wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000;
        if (second != m_second) {
            m_second = second;
            const QDateTime local = QDateTime::fromMSecsSinceEpoch(second * 1000);
            const QDateTime withOffset = local.toOffsetFromUtc(local.offsetFromUtc());
            const QString iso = withOffset.toString(Qt::ISODate); // 2026-12-07T10:15:02+01:00 (or Z)
            const qsizetype zoneAt = iso.size() > 19 ? 19 : iso.size();
            m_head = iso.left(zoneAt).toLatin1();
            m_zone = iso.mid(zoneAt).toLatin1();
            if (m_zone == "Z")
                m_zone = "+00:00";
        }
        const int ms = int(wallMs - second * 1000);
        out += m_head;
        out += '.';
        out += char('0' + ms / 100);
        out += char('0' + ms / 10 % 10);
        out += char('0' + ms % 10);
        out += m_zone;
    }

private:
    qint64 m_second = std::numeric_limits<qint64>::min();
    QByteArray m_head;
    QByteArray m_zone;
};

} // namespace

QByteArray trendCsv(const TrendHistory &history, const std::vector<int> &channels, qint64 fromMs, qint64 toMs,
                    qint64 wallMinusMonoMs, const BoardCalibration &calibration)
{
    std::vector<int> sorted = channels;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QByteArray out = "time";
    std::vector<std::vector<TrendHistory::Reading>> readings;
    for (const int channel : sorted) {
        out += ",ADC " + QByteArray::number(channel);
        readings.push_back(history.readings(channel, fromMs, toMs));
    }
    // The same readings in units after the counts, for the channels calibrated.
    std::vector<std::size_t> scaled;
    for (std::size_t c = 0; c < sorted.size(); ++c) {
        const ChannelCalibration &units = calibration.channel(sorted[c]);
        if (units.isIdentity())
            continue;
        scaled.push_back(c);
        QString name = QStringLiteral("ADC %1").arg(sorted[c]);
        if (!units.name.isEmpty())
            name += u' ' + units.name;
        if (!units.unit.isEmpty())
            name += QStringLiteral(" (%1)").arg(units.unit);
        out += ',';
        appendCsvField(out, name);
    }
    out += '\n';
    std::size_t total = 0;
    for (const auto &list : readings)
        total += list.size();
    out.reserve(out.size() + qsizetype(total) * (32 + 4 * qsizetype(sorted.size())));
    // A merge of the channels' readings, each already in time order.
    std::vector<std::size_t> next(sorted.size(), 0);
    TimeText time;
    for (;;) {
        std::optional<qint64> moment;
        for (std::size_t c = 0; c < readings.size(); ++c) {
            if (next[c] < readings[c].size() && (!moment || readings[c][next[c]].ms < *moment))
                moment = readings[c][next[c]].ms;
        }
        if (!moment)
            break;
        time.append(out, *moment + wallMinusMonoMs);
        for (std::size_t c = 0; c < readings.size(); ++c) {
            out += ',';
            if (next[c] < readings[c].size() && readings[c][next[c]].ms == *moment)
                out += QByteArray::number(readings[c][next[c]].value);
        }
        for (const std::size_t c : scaled) {
            out += ',';
            if (next[c] < readings[c].size() && readings[c][next[c]].ms == *moment) {
                const ChannelCalibration &units = calibration.channel(sorted[c]);
                out += QByteArray::number(units.value(readings[c][next[c]].value), 'f', units.decimals);
            }
        }
        for (std::size_t c = 0; c < readings.size(); ++c) {
            if (next[c] < readings[c].size() && readings[c][next[c]].ms == *moment)
                ++next[c];
        }
        out += '\n';
    }
    return out;
}

QByteArray trendPng(const TrendPlot &plot, const QString &caption)
{
    const QSize size = plot.size() + QSize(0, plot.captionHeight());
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        plot.paintTo(painter, size, false, caption);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray trendSvg(const TrendPlot &plot, const QString &caption)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    const QSize size = plot.size() + QSize(0, plot.captionHeight());
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(caption.isEmpty() ? QStringLiteral("Trend") : caption);
    {
        QPainter painter(&svg);
        plot.paintTo(painter, size, true, caption);
    }
    return bytes;
}

std::optional<TrendExportKind> trendExportKind(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"csv")
        return TrendExportKind::Csv;
    if (suffix == u"png")
        return TrendExportKind::Png;
    if (suffix == u"svg")
        return TrendExportKind::Svg;
    return std::nullopt;
}
