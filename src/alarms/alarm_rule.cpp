#include "alarms/alarm_rule.h"

#include "device/board_limits.h"

#include <algorithm>
#include <cmath>

QString severityName(AlarmSeverity severity)
{
    switch (severity) {
    case AlarmSeverity::Info:
        return QStringLiteral("info");
    case AlarmSeverity::Warning:
        return QStringLiteral("warning");
    case AlarmSeverity::Critical:
        return QStringLiteral("critical");
    }
    return QStringLiteral("warning");
}

std::optional<AlarmSeverity> severityFromName(QStringView name)
{
    for (const AlarmSeverity severity : {AlarmSeverity::Info, AlarmSeverity::Warning, AlarmSeverity::Critical}) {
        if (name == severityName(severity))
            return severity;
    }
    return std::nullopt;
}

std::optional<QString> ruleProblem(const AlarmRule &rule)
{
    if (rule.name.trimmed().isEmpty())
        return QStringLiteral("the alarm has no name");
    if (rule.name.size() > kMaxAlarmNameLength)
        return QStringLiteral("the name is %1 characters long; at most %2")
            .arg(rule.name.size())
            .arg(kMaxAlarmNameLength);
    if ((rule.channel != 0) == (rule.pin != 0))
        return QStringLiteral("the alarm watches either a channel or a pin");
    if (rule.pin != 0 && (rule.pin < kFirstPin || rule.pin > kLastPin))
        return QStringLiteral("pin %1 does not exist (pins are %2 to %3)").arg(rule.pin).arg(kFirstPin).arg(kLastPin);
    if (rule.channel != 0 && (rule.channel < kFirstChannel || rule.channel > kLastChannel))
        return QStringLiteral("channel %1 does not exist (channels are %2 to %3)")
            .arg(rule.channel)
            .arg(kFirstChannel)
            .arg(kLastChannel);
    if (rule.channel != 0 && !rule.below && !rule.above)
        return QStringLiteral("a channel's alarm needs a limit (below, above or both)");
    if ((rule.below && !std::isfinite(*rule.below)) || (rule.above && !std::isfinite(*rule.above)))
        return QStringLiteral("a limit must be a number");
    if (rule.below && rule.above && *rule.below > *rule.above)
        return QStringLiteral("\"below\" (%1) is greater than \"above\" (%2): every value would raise it")
            .arg(*rule.below)
            .arg(*rule.above);
    if (rule.forMs < 0 || rule.forMs > kMaxAlarmForMs)
        return QStringLiteral("the hold time must be 0 to %1 ms").arg(kMaxAlarmForMs);
    if (rule.command.size() > kMaxAlarmCommandLength)
        return QStringLiteral("the command is %1 characters long; at most %2")
            .arg(rule.command.size())
            .arg(kMaxAlarmCommandLength);
    if (std::any_of(rule.command.begin(), rule.command.end(),
                    [](QChar c) { return c.unicode() < 0x20 || c == u'\x7f'; }))
        return QStringLiteral("the command must be one line, without control characters");
    return std::nullopt;
}

QString limitRuleName(int channel)
{
    return QStringLiteral("ADC %1 limits").arg(channel);
}

const AlarmRule *limitRule(const std::vector<AlarmRule> &rules, int channel)
{
    const QString name = limitRuleName(channel);
    const auto found = std::find_if(rules.begin(), rules.end(), [&](const AlarmRule &rule) {
        return rule.name == name && rule.channel == channel;
    });
    return found == rules.end() ? nullptr : &*found;
}

std::vector<AlarmRule> withLimits(std::vector<AlarmRule> rules, int channel, std::optional<double> below,
                                  std::optional<double> above)
{
    const QString name = limitRuleName(channel);
    auto found = std::find_if(rules.begin(), rules.end(), [&](const AlarmRule &rule) { return rule.name == name; });
    if (!below && !above) {
        if (found != rules.end())
            rules.erase(found);
        return rules;
    }
    if (found == rules.end()) {
        AlarmRule made;
        made.name = name;
        made.severity = AlarmSeverity::Info;
        rules.push_back(made);
        found = rules.end() - 1;
    }
    // A rule of that name made by hand for a pin or another channel becomes this channel's limits.
    found->channel = channel;
    found->pin = 0;
    found->below = below;
    found->above = above;
    return rules;
}
