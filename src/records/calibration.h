#pragma once

#include "device/board_limits.h"

#include <QString>

#include <array>
#include <optional>

// How one analog channel's counts read in units: value = count × scale + offset, shown with `decimals` places and
// the unit ("4.98 V"). The identity (scale 1, offset 0, no unit) reads as the count itself.
struct ChannelCalibration {
    QString name; // "Supply"; empty: "Channel N"
    QString unit; // "V"; empty: none
    double scale = 1.0;
    double offset = 0.0;
    int decimals = 0;

    double value(int count) const { return count * scale + offset; }
    // The value with its unit: "4.98 V", or "137" for the identity.
    QString text(int count) const;
    QString valueText(double value) const;
    bool isIdentity() const { return scale == 1.0 && offset == 0.0 && unit.isEmpty(); }
    bool operator==(const ChannelCalibration &) const = default;
};

inline constexpr int kMaxUnitLength = 16;
inline constexpr int kMaxCalibrationNameLength = 64;
inline constexpr int kMaxDecimals = 6;

// What is wrong with a calibration, in words for the operator; nothing when it is sound: a scale of 0 or not a
// finite number, an offset not finite, a unit or a name too long or holding control characters, decimals out of
// 0..6.
std::optional<QString> calibrationProblem(const ChannelCalibration &calibration);

// A board's channels, indexed by channel number (entry 0 unused).
struct BoardCalibration {
    std::array<ChannelCalibration, kLastChannel + 1> channels;

    const ChannelCalibration &channel(int number) const;
    ChannelCalibration &channel(int number);
    bool isIdentity() const;
    bool operator==(const BoardCalibration &) const = default;
};

// Places enough to tell one count from the next: 0.025 -> 2, 1 -> 0.
int decimalsForScale(double scale);

// The Home Assistant device class a unit implies ("V": voltage); empty when none.
QString deviceClassOfUnit(const QString &unit);
