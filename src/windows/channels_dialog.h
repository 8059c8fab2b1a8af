#pragma once

#include "alarms/alarm_rule.h"
#include "records/calibration.h"

#include <QDialog>
#include <QStringList>

#include <variant>
#include <vector>

class BoardHost;
class QLabel;
class QTableWidget;

// A calibration from the dialog's cells (name, unit, scale, offset, decimals), or what is wrong with it.
std::variant<ChannelCalibration, QString> calibrationFromCells(const QStringList &cells);
// A rule from the dialog's cells (name, watches "8" or "pin 9", below, above, level, for ms, severity, latched "yes",
// the command it sends, confirmed "yes"), or what is wrong with it. A command is sent only once confirmed.
std::variant<AlarmRule, QString> ruleFromCells(const QStringList &cells);

// The "Channels" dialog: one board's calibration (a row a channel) and alarm rules (a row a rule, blank rows
// ignored). OK refuses what cannot be judged (a scale of 0 or not a number, a unit too long, limits the wrong way
// round, a pin that does not exist) and says why under the tables; nothing is changed then.
class ChannelsDialog : public QDialog
{
    Q_OBJECT

public:
    ChannelsDialog(const QString &serial, const BoardCalibration &calibration, const std::vector<AlarmRule> &rules,
                   QWidget *parent = nullptr);

    static constexpr int kRuleRows = 12;

    QTableWidget *channelsTable() const { return m_channels; }
    QTableWidget *rulesTable() const { return m_rules; }
    QString message() const;
    // What OK accepted.
    const BoardCalibration &calibration() const { return m_calibration; }
    const std::vector<AlarmRule> &rules() const { return m_acceptedRules; }

    void accept() override;

private:
    bool read();

    QTableWidget *m_channels = nullptr;
    QTableWidget *m_rules = nullptr;
    QLabel *m_message = nullptr;
    BoardCalibration m_calibration;
    std::vector<AlarmRule> m_acceptedRules;
};

// Shows the dialog for the board `serial` and keeps what OK accepted (in the settings, and judged from then on).
void editChannels(BoardHost &host, const QString &serial, QWidget *parent);
