#pragma once

#include "alarms/alarm_rule.h"
#include "records/calibration.h"

#include <QString>

#include <vector>

// A board's calibration and alarm rules as the program's settings keep them, under its serial number: one board's
// never applies to another. What cannot be read back soundly (a scale of 0, a rule with limits the wrong way round)
// is left out: the channel reads in counts, the rule is not judged.
BoardCalibration loadCalibration(const QString &serial);
void saveCalibration(const QString &serial, const BoardCalibration &calibration);
std::vector<AlarmRule> loadAlarmRules(const QString &serial);
void saveAlarmRules(const QString &serial, const std::vector<AlarmRule> &rules);

// The settings these read and write are another program's (the runner reads the window program's): its
// organisation and application names.
void keepBoardSettingsOf(const QString &organisation, const QString &application);
// The names the window program keeps its settings under.
inline constexpr char kWindowProgramOrganisation[] = "Vantrel";
inline constexpr char kWindowProgramApplication[] = "Vantrel Control";
