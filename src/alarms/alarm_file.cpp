#include "alarms/alarm_file.h"

#include "plans/toml_fields.h"

#include <QSet>

BoardCalibration AlarmSetup::over(const BoardCalibration &board) const
{
    BoardCalibration result = board;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        if (calibration[std::size_t(channel)])
            result.channel(channel) = *calibration[std::size_t(channel)];
    }
    return result;
}

namespace {

class AlarmsReader : public TomlFields
{
public:
    using TomlFields::TomlFields;

    AlarmSetup setup(const toml::table &root)
    {
        AlarmSetup setup;
        for (const auto &[keyPointer, nodePointer] : inFileOrder(root)) {
            const toml::key &key = *keyPointer;
            const toml::node &node = *nodePointer;
            if (key.str() == "calibration") {
                if (!node.is_table())
                    fail(key.source(), QStringLiteral("\"calibration\" must be written as [calibration.N] tables"));
                calibrations(*node.as_table(), setup);
            } else if (key.str() == "alarm") {
                const toml::array *alarms = node.as_array();
                if (!alarms || !alarms->is_array_of_tables())
                    fail(key.source(), QStringLiteral("\"alarm\" must be written as [[alarm]] tables"));
                if (alarms->size() > std::size_t(kMaxAlarmRules))
                    fail(key.source(), QStringLiteral("more than %1 alarms").arg(kMaxAlarmRules));
                QSet<QString> names;
                for (const toml::node &table : *alarms) {
                    AlarmRule rule = alarm(*table.as_table(), int(setup.rules.size()) + 1);
                    if (names.contains(rule.name))
                        fail(table.source(), QStringLiteral("two alarms are named \"%1\"").arg(rule.name));
                    names.insert(rule.name);
                    setup.rules.push_back(std::move(rule));
                }
            } else {
                fail(key.source(), QStringLiteral("unknown key \"%1\" (a rules file has [calibration.N] and [[alarm]])")
                                       .arg(qtText(key.str())));
            }
        }
        return setup;
    }

private:
    void calibrations(const toml::table &tables, AlarmSetup &setup)
    {
        for (const auto &[keyPointer, nodePointer] : inFileOrder(tables)) {
            const toml::key &key = *keyPointer;
            bool isNumber = false;
            const int channel = qtText(key.str()).toInt(&isNumber);
            if (!isNumber || channel < kFirstChannel || channel > kLastChannel)
                fail(key.source(), QStringLiteral("calibration: \"%1\" is not a channel (%2 to %3)")
                                       .arg(qtText(key.str()))
                                       .arg(kFirstChannel)
                                       .arg(kLastChannel));
            if (!nodePointer->is_table())
                fail(key.source(), QStringLiteral("calibration.%1 must be a table").arg(channel));
            setup.calibration[std::size_t(channel)] = calibration(*nodePointer->as_table(), channel);
        }
    }

    ChannelCalibration calibration(const toml::table &table, int channel)
    {
        m_prefix = QStringLiteral("calibration.%1: ").arg(channel);
        ChannelCalibration calibration;
        std::optional<int> decimals;
        for (const auto &[keyPointer, nodePointer] : inFileOrder(table)) {
            const toml::key &key = *keyPointer;
            const toml::node &node = *nodePointer;
            const std::string_view name = key.str();
            if (name == "scale")
                calibration.scale = decimal(key, node);
            else if (name == "offset")
                calibration.offset = decimal(key, node);
            else if (name == "unit")
                calibration.unit = string(key, node);
            else if (name == "name")
                calibration.name = string(key, node);
            else if (name == "decimals")
                decimals = int(integer(key, node, 0, kMaxDecimals));
            else
                fail(key.source(),
                     m_prefix +
                         QStringLiteral("unknown key \"%1\" (scale, offset, unit, name, decimals)").arg(qtText(name)));
            if (const auto problem = calibrationProblem(calibration))
                fail(key.source(), m_prefix + *problem);
        }
        calibration.decimals = decimals.value_or(decimalsForScale(calibration.scale));
        return calibration;
    }

    AlarmRule alarm(const toml::table &table, int number)
    {
        m_prefix = QStringLiteral("alarm %1: ").arg(number);
        AlarmRule rule;
        std::optional<toml::source_region> levelAt;
        for (const auto &[keyPointer, nodePointer] : inFileOrder(table)) {
            const toml::key &key = *keyPointer;
            const toml::node &node = *nodePointer;
            const std::string_view name = key.str();
            if (name == "name")
                rule.name = string(key, node);
            else if (name == "channel")
                rule.channel = int(integer(key, node, kFirstChannel, kLastChannel));
            else if (name == "pin")
                rule.pin = int(integer(key, node, kFirstPin, kLastPin));
            else if (name == "level") {
                rule.level = level(key, node);
                levelAt = key.source();
            } else if (name == "below")
                rule.below = decimal(key, node);
            else if (name == "above")
                rule.above = decimal(key, node);
            else if (name == "for_ms")
                rule.forMs = int(integer(key, node, 0, kMaxAlarmForMs));
            else if (name == "severity") {
                const auto severity = severityFromName(string(key, node));
                if (!severity)
                    fail(key.source(), m_prefix + QStringLiteral("\"severity\" must be info, warning or critical"));
                rule.severity = *severity;
            } else if (name == "latched")
                rule.latched = boolean(key, node);
            else if (name == "command")
                rule.command = string(key, node);
            else
                fail(key.source(), m_prefix + QStringLiteral("unknown key \"%1\" (name, channel, pin, level, below, "
                                                             "above, for_ms, severity, latched, command)")
                                                  .arg(qtText(name)));
            if (rule.pin != 0 && (rule.below || rule.above))
                fail(key.source(), m_prefix + QStringLiteral("a pin's alarm has a level, not below or above"));
            if (rule.channel != 0 && levelAt)
                fail(*levelAt, m_prefix + QStringLiteral("a channel's alarm has below or above, not a level"));
        }
        if (rule.name.isEmpty())
            rule.name = QStringLiteral("Alarm %1").arg(number);
        if (const auto problem = ruleProblem(rule)) {
            // Limits the wrong way round are said where the second stands.
            const auto above = table.find("above");
            fail(rule.below && rule.above && above != table.end() ? above->first.source() : table.source(),
                 m_prefix + *problem);
        }
        return rule;
    }
};

} // namespace

std::variant<AlarmSetup, PlanError> readAlarmsText(const QByteArray &text, const QString &file)
{
    AlarmsReader reader(file);
    try {
        const toml::table root =
            toml::parse(std::string_view(text.constData(), std::size_t(text.size())), file.toStdString());
        return reader.setup(root);
    } catch (const toml::parse_error &error) {
        return PlanError{file, int(error.source().begin.line), int(error.source().begin.column),
                         qtText(error.description())};
    } catch (const TomlFailure &failure) {
        return failure.error;
    }
}

std::variant<AlarmSetup, PlanError> readAlarmsFile(const QString &path)
{
    QByteArray text;
    if (PlanError error; !readTomlBytes(path, &text, &error))
        return error;
    return readAlarmsText(text, path);
}
