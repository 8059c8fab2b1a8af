#pragma once

#include <QString>

#include <optional>
#include <vector>

enum class AlarmSeverity : int { Info = 0, Warning = 1, Critical = 2 };

// "info", "warning", "critical".
QString severityName(AlarmSeverity severity);
std::optional<AlarmSeverity> severityFromName(QStringView name);

// When an alarm is raised: a channel's value (in its unit when calibrated) below `below` or above `above`, or a pin
// at `level`, held for at least `forMs`. A latched alarm stays until it is acknowledged, even when the condition has
// gone; an alarm not latched clears when the condition goes.
struct AlarmRule {
    QString name;
    int channel = 0; // 1..8, or 0 for a pin rule
    int pin = 0;     // 1..18, or 0 for a channel rule
    std::optional<double> below;
    std::optional<double> above;
    bool level = false; // a pin rule: the level that raises it
    int forMs = 0;
    AlarmSeverity severity = AlarmSeverity::Warning;
    bool latched = false;
    // A command sent to the board (as if typed) when the alarm is raised: only once the operator has confirmed the
    // rule in the Channels dialog. A rule from a file is never confirmed.
    QString command;
    bool commandConfirmed = false;

    bool isPinRule() const { return pin != 0; }
    bool operator==(const AlarmRule &) const = default;
};

inline constexpr int kMaxAlarmNameLength = 64;
inline constexpr int kMaxAlarmForMs = 24 * 3600 * 1000;
inline constexpr int kMaxAlarmRules = 256;
inline constexpr int kMaxAlarmCommandLength = 128;

// What is wrong with a rule, in words for the operator; nothing when it is sound: no name or one too long, neither a
// channel nor a pin (or both), a channel outside 1..8 or a pin outside 1..18, no limit on a channel, a limit not a
// finite number, `below` greater than `above` (every value would raise it), a hold time out of 0..24 h, a command
// too long or of more than one line.
std::optional<QString> ruleProblem(const AlarmRule &rule);

// The trend's limits of a channel are the thresholds of one rule, "ADC 8 limits" (info, not latched, no hold time
// unless changed in the rules): what the trend counts outside is what raises that alarm.
QString limitRuleName(int channel);
const AlarmRule *limitRule(const std::vector<AlarmRule> &rules, int channel);
// `rules` with the channel's limit rule given these thresholds: made when missing, gone when both are none; the
// rest of it (severity, hold time, latch) and every other rule kept as they are.
std::vector<AlarmRule> withLimits(std::vector<AlarmRule> rules, int channel, std::optional<double> below,
                                  std::optional<double> above);
