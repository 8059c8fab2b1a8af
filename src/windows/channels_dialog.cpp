#include "windows/channels_dialog.h"

#include "host/board_host.h"
#include "windows/control_names.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QStringList kChannelColumns{"Name", "Unit", "Scale", "Offset", "Decimals"};
const QStringList kRuleColumns{"Name",   "Watches",  "Below",   "Above", "Level",
                               "For ms", "Severity", "Latched", "Sends", "Confirmed"};

// A number as the operator typed it; "nan" and "inf" read as numbers that are not finite, and are refused later.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

// "yes" or "no" (true/false, 1/0 too); empty is no; anything else is neither.
std::optional<bool> yesOrNo(const QString &text)
{
    const QString word = text.trimmed().toLower();
    if (word == u"yes" || word == u"true" || word == u"1")
        return true;
    if (word.isEmpty() || word == u"no" || word == u"false" || word == u"0")
        return false;
    return std::nullopt;
}

QString numberText(std::optional<double> value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

std::variant<ChannelCalibration, QString> calibrationFromCells(const QStringList &cells)
{
    ChannelCalibration calibration;
    calibration.name = cells.value(0).trimmed();
    calibration.unit = cells.value(1).trimmed();
    const std::optional<double> scale = cells.value(2).trimmed().isEmpty() ? 1.0 : number(cells.value(2));
    const std::optional<double> offset = cells.value(3).trimmed().isEmpty() ? 0.0 : number(cells.value(3));
    if (!scale)
        return QStringLiteral("the scale must be a number");
    if (!offset)
        return QStringLiteral("the offset must be a number");
    calibration.scale = *scale;
    calibration.offset = *offset;
    bool decimalsOk = true;
    calibration.decimals =
        cells.value(4).trimmed().isEmpty() ? decimalsForScale(*scale) : cells.value(4).trimmed().toInt(&decimalsOk);
    if (!decimalsOk)
        return QStringLiteral("the decimals must be a whole number");
    if (const auto problem = calibrationProblem(calibration))
        return *problem;
    return calibration;
}

std::variant<AlarmRule, QString> ruleFromCells(const QStringList &cells)
{
    AlarmRule rule;
    rule.name = cells.value(0).trimmed();
    const QString watches = cells.value(1).trimmed();
    bool ok = false;
    if (watches.startsWith(QStringLiteral("pin"), Qt::CaseInsensitive))
        rule.pin = watches.mid(3).trimmed().toInt(&ok);
    else
        rule.channel = watches.startsWith(QStringLiteral("channel"), Qt::CaseInsensitive)
                           ? watches.mid(7).trimmed().toInt(&ok)
                           : watches.toInt(&ok);
    if (!ok)
        return QStringLiteral("\"Watches\" must be a channel (8) or a pin (pin 9)");
    for (const auto &[column, into] : {std::pair{2, &rule.below}, std::pair{3, &rule.above}}) {
        if (cells.value(column).trimmed().isEmpty())
            continue;
        *into = number(cells.value(column));
        if (!*into)
            return QStringLiteral("\"%1\" must be a number").arg(kRuleColumns[column]);
    }
    const QString level = cells.value(4).trimmed().toLower();
    rule.level = level == u"1" || level == u"high";
    if (rule.pin != 0 && level != u"0" && level != u"low" && !rule.level)
        return QStringLiteral("a pin's \"Level\" must be 0 or 1 (low or high)");
    rule.forMs = cells.value(5).trimmed().isEmpty() ? 0 : cells.value(5).trimmed().toInt(&ok);
    if (!ok)
        return QStringLiteral("\"For ms\" must be a whole number");
    const QString severity = cells.value(6).trimmed().toLower();
    const std::optional<AlarmSeverity> read = severity.isEmpty() ? AlarmSeverity::Warning : severityFromName(severity);
    if (!read)
        return QStringLiteral("\"Severity\" must be info, warning or critical");
    rule.severity = *read;
    const std::optional<bool> latched = yesOrNo(cells.value(7));
    if (!latched)
        return QStringLiteral("\"Latched\" must be yes or no");
    rule.latched = *latched;
    rule.command = cells.value(8).trimmed();
    const std::optional<bool> confirmed = yesOrNo(cells.value(9));
    if (!confirmed)
        return QStringLiteral("\"Confirmed\" must be yes or no");
    rule.commandConfirmed = !rule.command.isEmpty() && *confirmed;
    if (const auto problem = ruleProblem(rule))
        return *problem;
    return rule;
}

ChannelsDialog::ChannelsDialog(const QString &serial, const BoardCalibration &calibration,
                               const std::vector<AlarmRule> &rules, QWidget *parent)
    : QDialog(parent)
    , m_calibration(calibration)
    , m_acceptedRules(rules)
{
    setObjectName(QStringLiteral("channelsDialog"));
    setWindowTitle(QStringLiteral("Channels of %1").arg(serial.isEmpty() ? QStringLiteral("no board") : serial));

    m_channels = new QTableWidget(kLastChannel, int(kChannelColumns.size()), this);
    nameControl(m_channels, QStringLiteral("channelsTable"), QStringLiteral("Channels"));
    m_channels->setHorizontalHeaderLabels(kChannelColumns);
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const ChannelCalibration &kept = calibration.channel(channel);
        const QStringList texts{kept.name, kept.unit, QString::number(kept.scale), QString::number(kept.offset),
                                QString::number(kept.decimals)};
        m_channels->setVerticalHeaderItem(channel - 1, new QTableWidgetItem(QStringLiteral("Channel %1").arg(channel)));
        for (int column = 0; column < texts.size(); ++column)
            m_channels->setItem(channel - 1, column, new QTableWidgetItem(texts[column]));
    }

    m_rules = new QTableWidget(kRuleRows, int(kRuleColumns.size()), this);
    nameControl(m_rules, QStringLiteral("rulesTable"), QStringLiteral("Alarm rules"));
    m_rules->setHorizontalHeaderLabels(kRuleColumns);
    for (int row = 0; row < kRuleRows; ++row) {
        QStringList texts(kRuleColumns.size());
        if (row < int(rules.size())) {
            const AlarmRule &rule = rules[std::size_t(row)];
            texts = {rule.name,
                     rule.isPinRule() ? QStringLiteral("pin %1").arg(rule.pin) : QString::number(rule.channel),
                     numberText(rule.below),
                     numberText(rule.above),
                     rule.isPinRule() ? QString::number(int(rule.level)) : QString(),
                     QString::number(rule.forMs),
                     severityName(rule.severity),
                     rule.latched ? QStringLiteral("yes") : QStringLiteral("no"),
                     rule.command,
                     rule.command.isEmpty()  ? QString()
                     : rule.commandConfirmed ? QStringLiteral("yes")
                                             : QStringLiteral("no")};
        }
        for (int column = 0; column < texts.size(); ++column)
            m_rules->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    for (QTableWidget *table : {m_channels, m_rules})
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_message = new QLabel(this);
    nameControl(m_message, QStringLiteral("message"), QStringLiteral("Message"));
    m_message->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    nameControl(buttons, QStringLiteral("buttons"), QStringLiteral("OK or Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChannelsDialog::reject);

    auto *layout = new QVBoxLayout(this);
    auto *channelsLabel = new QLabel(QStringLiteral("&Channels: value = count × scale + offset"), this);
    channelsLabel->setBuddy(m_channels);
    auto *rulesLabel = new QLabel(QStringLiteral("&Alarm rules (Watches: a channel, or pin N)"), this);
    rulesLabel->setBuddy(m_rules);
    layout->addWidget(channelsLabel);
    layout->addWidget(m_channels, 1);
    layout->addWidget(rulesLabel);
    layout->addWidget(m_rules, 1);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    resize(900, 640); // every channel and every column of a rule in view at once
}

QString ChannelsDialog::message() const
{
    return m_message->text();
}

bool ChannelsDialog::read()
{
    BoardCalibration calibration;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        QStringList cells;
        for (int column = 0; column < m_channels->columnCount(); ++column)
            cells << cell(m_channels, channel - 1, column);
        auto read = calibrationFromCells(cells);
        if (const QString *problem = std::get_if<QString>(&read)) {
            m_message->setText(QStringLiteral("Channel %1: %2.").arg(channel).arg(*problem));
            m_channels->setCurrentCell(channel - 1, 0);
            return false;
        }
        calibration.channel(channel) = std::get<ChannelCalibration>(read);
    }
    std::vector<AlarmRule> rules;
    for (int row = 0; row < m_rules->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < m_rules->columnCount(); ++column)
            cells << cell(m_rules, row, column);
        if (cells.join(QString()).isEmpty())
            continue;
        auto read = ruleFromCells(cells);
        if (const QString *problem = std::get_if<QString>(&read)) {
            m_message->setText(QStringLiteral("Rule %1: %2.").arg(row + 1).arg(*problem));
            m_rules->setCurrentCell(row, 0);
            return false;
        }
        const AlarmRule &rule = std::get<AlarmRule>(read);
        if (std::any_of(rules.begin(), rules.end(), [&](const AlarmRule &other) { return other.name == rule.name; })) {
            m_message->setText(QStringLiteral("Rule %1: another rule is named \"%2\".").arg(row + 1).arg(rule.name));
            m_rules->setCurrentCell(row, 0);
            return false;
        }
        rules.push_back(rule);
    }
    m_calibration = calibration;
    m_acceptedRules = rules;
    return true;
}

void ChannelsDialog::accept()
{
    if (read())
        QDialog::accept();
}

void editChannels(BoardHost &host, const QString &serial, QWidget *parent)
{
    const AlarmEngine &alarms = host.board(serial).alarms;
    std::vector<AlarmRule> rules;
    for (const AlarmEngine::Alarm &alarm : alarms.alarms())
        rules.push_back(alarm.rule);
    ChannelsDialog dialog(serial, alarms.calibration(), rules, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    host.setCalibration(serial, dialog.calibration());
    if (dialog.rules() != rules)
        host.setAlarmRules(serial, dialog.rules());
}
