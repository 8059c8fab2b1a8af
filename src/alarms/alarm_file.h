#pragma once

#include "alarms/alarm_rule.h"
#include "plans/plan_error.h"
#include "records/calibration.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <variant>
#include <vector>

// What a rules file (`--alarms FILE`) sets: the channels it calibrates (the others keep the board's own), and its
// alarm rules.
struct AlarmSetup {
    std::array<std::optional<ChannelCalibration>, kLastChannel + 1> calibration;
    std::vector<AlarmRule> rules;

    // The board's calibration with this file's channels put over it.
    BoardCalibration over(const BoardCalibration &board) const;
};

// Reads a rules file (TOML): [calibration.N] tables (scale, offset, unit, name, decimals) and [[alarm]] tables
// (name, channel or pin, below/above or level, for_ms, severity, latched). Every key is checked as plans check
// theirs: an unknown key, a wrong type, a value out of range, a scale of 0, limits the wrong way round, a pin that
// does not exist or two alarms of one name is an error at its `file:line:column`.
std::variant<AlarmSetup, PlanError> readAlarmsText(const QByteArray &text, const QString &file);
std::variant<AlarmSetup, PlanError> readAlarmsFile(const QString &path);
