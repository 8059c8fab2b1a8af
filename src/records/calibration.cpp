#include "records/calibration.h"

#include <algorithm>
#include <cmath>

QString ChannelCalibration::valueText(double number) const
{
    // The C locale: records and topics read the same on every machine.
    const QString digits = QString::number(number, 'f', decimals);
    return unit.isEmpty() ? digits : digits + u' ' + unit;
}

QString ChannelCalibration::text(int count) const
{
    return isIdentity() ? QString::number(count) : valueText(value(count));
}

namespace {

bool hasControl(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

std::optional<QString> calibrationProblem(const ChannelCalibration &calibration)
{
    if (!std::isfinite(calibration.scale))
        return QStringLiteral("the scale must be a number");
    if (calibration.scale == 0.0)
        return QStringLiteral("the scale must not be 0 (every reading would be the offset)");
    if (!std::isfinite(calibration.offset))
        return QStringLiteral("the offset must be a number");
    if (calibration.unit.size() > kMaxUnitLength)
        return QStringLiteral("the unit is %1 characters long; at most %2")
            .arg(calibration.unit.size())
            .arg(kMaxUnitLength);
    if (calibration.name.size() > kMaxCalibrationNameLength)
        return QStringLiteral("the name is %1 characters long; at most %2")
            .arg(calibration.name.size())
            .arg(kMaxCalibrationNameLength);
    if (hasControl(calibration.unit) || hasControl(calibration.name))
        return QStringLiteral("the name and the unit must not hold control characters");
    if (calibration.decimals < 0 || calibration.decimals > kMaxDecimals)
        return QStringLiteral("the decimals must be 0 to %1").arg(kMaxDecimals);
    return std::nullopt;
}

const ChannelCalibration &BoardCalibration::channel(int number) const
{
    static const ChannelCalibration identity;
    return number >= kFirstChannel && number <= kLastChannel ? channels[std::size_t(number)] : identity;
}

ChannelCalibration &BoardCalibration::channel(int number)
{
    return channels[std::size_t(std::clamp(number, 0, kLastChannel))];
}

bool BoardCalibration::isIdentity() const
{
    return std::all_of(channels.begin() + 1, channels.end(),
                       [](const ChannelCalibration &c) { return c.isIdentity(); });
}

QString deviceClassOfUnit(const QString &unit)
{
    static const std::pair<const char16_t *, const char *> kClasses[] = {
        {u"V", "voltage"},      {u"mV", "voltage"},    {u"A", "current"},  {u"mA", "current"}, {u"°C", "temperature"},
        {u"°F", "temperature"}, {u"K", "temperature"}, {u"%", "humidity"}, {u"W", "power"},    {u"Hz", "frequency"},
    };
    for (const auto &[known, deviceClass] : kClasses) {
        if (unit == QStringView(known))
            return QString::fromLatin1(deviceClass);
    }
    return {};
}

int decimalsForScale(double scale)
{
    if (!std::isfinite(scale) || scale == 0.0)
        return 0;
    return std::clamp(int(std::ceil(-std::log10(std::abs(scale)) - 1e-9)), 0, kMaxDecimals);
}
