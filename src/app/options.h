#pragma once

#include "alarms/alarm_file.h"
#include "device/driver_factory.h"
#include "network/broker_options.h"
#include "replay/replay_driver.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for.
struct Options {
    DriverKind driver = DriverKind::Auto;
    QStringList ports;
    BrokerOptions::Choice broker;     // --driver=mqtt: where the boards are served
    bool reconnect = true;            // a lost board is looked for and reopened
    bool restore = true;              // the desk of last time is put back (unless "Restore at start" is off)
    QString script;                   // a script file to open in the editor, as "Open with" hands it over
    QString journalFolder;            // where the journal is kept; the default folder when empty
    std::optional<bool> keepJournal;  // --journal (yes) or --no-journal (no); otherwise as last chosen
    bool journalEveryPoll = false;    // --journal-polls
    ReplayOptions replay;             // --driver=replay: the journal in --journal played back
    std::optional<AlarmSetup> alarms; // --alarms FILE: calibration and rules for every board, this run
};

// The outcome of reading the command line: the options to run with, or a text to print and an exit code
// (--help and --version print to stdout and exit with 0; a usage error prints one line and the usage to stderr
// and exits with 2).
struct ParsedOptions {
    Options options;
    std::optional<int> exitCode; // set when the program is to stop here
    QString output;              // for stdout
    QString error;               // for stderr
};

ParsedOptions parseOptions(const QStringList &arguments);
