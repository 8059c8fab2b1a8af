#include "alarms/alarm_settings.h"

#include <QSettings>

#include <memory>

namespace {

// The serial number comes from the board: it never makes a key of its own.
QString boardGroup(const QString &serial)
{
    return QStringLiteral("boards/") + QString::fromLatin1(serial.toUtf8().toPercentEncoding());
}

// Whose settings: the program's own, unless told (the runner reads the window program's).
QString &settingsOrganisation()
{
    static QString organisation;
    return organisation;
}

QString &settingsApplication()
{
    static QString application;
    return application;
}

std::unique_ptr<QSettings> boardSettings()
{
    if (settingsApplication().isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(settingsOrganisation(), settingsApplication());
}

std::optional<double> optionalNumber(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return value.isValid() && ok ? std::optional<double>(number) : std::nullopt;
}

} // namespace

BoardCalibration loadCalibration(const QString &serial)
{
    const std::unique_ptr<QSettings> kept = boardSettings();
    QSettings &settings = *kept;
    settings.beginGroup(boardGroup(serial));
    BoardCalibration calibration;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        settings.beginGroup(QStringLiteral("channel%1").arg(channel));
        ChannelCalibration read;
        read.name = settings.value(QStringLiteral("name")).toString();
        read.unit = settings.value(QStringLiteral("unit")).toString();
        read.scale = optionalNumber(settings.value(QStringLiteral("scale"))).value_or(1.0);
        read.offset = optionalNumber(settings.value(QStringLiteral("offset"))).value_or(0.0);
        read.decimals = settings.value(QStringLiteral("decimals"), 0).toInt();
        if (!calibrationProblem(read))
            calibration.channel(channel) = read;
        settings.endGroup();
    }
    return calibration;
}

void saveCalibration(const QString &serial, const BoardCalibration &calibration)
{
    const std::unique_ptr<QSettings> kept = boardSettings();
    QSettings &settings = *kept;
    settings.beginGroup(boardGroup(serial));
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const ChannelCalibration &saved = calibration.channel(channel);
        const QString group = QStringLiteral("channel%1").arg(channel);
        if (saved.isIdentity() && saved.name.isEmpty()) {
            settings.remove(group);
            continue;
        }
        settings.beginGroup(group);
        settings.setValue(QStringLiteral("name"), saved.name);
        settings.setValue(QStringLiteral("unit"), saved.unit);
        settings.setValue(QStringLiteral("scale"), saved.scale);
        settings.setValue(QStringLiteral("offset"), saved.offset);
        settings.setValue(QStringLiteral("decimals"), saved.decimals);
        settings.endGroup();
    }
}

std::vector<AlarmRule> loadAlarmRules(const QString &serial)
{
    const std::unique_ptr<QSettings> kept = boardSettings();
    QSettings &settings = *kept;
    settings.beginGroup(boardGroup(serial));
    const int size = std::min(settings.beginReadArray(QStringLiteral("alarms")), kMaxAlarmRules);
    std::vector<AlarmRule> rules;
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        AlarmRule rule;
        rule.name = settings.value(QStringLiteral("name")).toString();
        rule.channel = settings.value(QStringLiteral("channel"), 0).toInt();
        rule.pin = settings.value(QStringLiteral("pin"), 0).toInt();
        rule.level = settings.value(QStringLiteral("level"), false).toBool();
        rule.below = optionalNumber(settings.value(QStringLiteral("below")));
        rule.above = optionalNumber(settings.value(QStringLiteral("above")));
        rule.forMs = settings.value(QStringLiteral("forMs"), 0).toInt();
        rule.severity =
            severityFromName(settings.value(QStringLiteral("severity")).toString()).value_or(AlarmSeverity::Warning);
        rule.latched = settings.value(QStringLiteral("latched"), false).toBool();
        rule.command = settings.value(QStringLiteral("command")).toString();
        rule.commandConfirmed =
            !rule.command.isEmpty() && settings.value(QStringLiteral("commandConfirmed"), false).toBool();
        if (!ruleProblem(rule))
            rules.push_back(rule);
    }
    settings.endArray();
    return rules;
}

void saveAlarmRules(const QString &serial, const std::vector<AlarmRule> &rules)
{
    const std::unique_ptr<QSettings> kept = boardSettings();
    QSettings &settings = *kept;
    settings.beginGroup(boardGroup(serial));
    settings.remove(QStringLiteral("alarms"));
    settings.beginWriteArray(QStringLiteral("alarms"), int(rules.size()));
    for (int i = 0; i < int(rules.size()); ++i) {
        const AlarmRule &rule = rules[std::size_t(i)];
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("name"), rule.name);
        settings.setValue(QStringLiteral("channel"), rule.channel);
        settings.setValue(QStringLiteral("pin"), rule.pin);
        settings.setValue(QStringLiteral("level"), rule.level);
        if (rule.below)
            settings.setValue(QStringLiteral("below"), *rule.below);
        if (rule.above)
            settings.setValue(QStringLiteral("above"), *rule.above);
        settings.setValue(QStringLiteral("forMs"), rule.forMs);
        settings.setValue(QStringLiteral("severity"), severityName(rule.severity));
        settings.setValue(QStringLiteral("latched"), rule.latched);
        if (!rule.command.isEmpty()) {
            settings.setValue(QStringLiteral("command"), rule.command);
            settings.setValue(QStringLiteral("commandConfirmed"), rule.commandConfirmed);
        }
    }
    settings.endArray();
}

void keepBoardSettingsOf(const QString &organisation, const QString &application)
{
    settingsOrganisation() = organisation;
    settingsApplication() = application;
}
