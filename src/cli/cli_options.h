#pragma once

#include "alarms/alarm_file.h"
#include "device/driver_factory.h"
#include "network/bridge.h"
#include "network/broker_options.h"
#include "plans/test_plan.h"
#include "records/record_writer.h"
#include "replay/replay_driver.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>

// What one run of vantrel-cli is asked to do.
struct CliOptions {
    enum class Command { List, Send, Monitor, Journal, Test, Serve };

    // One thing `send` sends, in command-line order: a typed command (sent with CR LF) or a script's editor text
    // (sent as Send Script sends it).
    struct Step {
        enum class Kind { Command, Script };
        Kind kind = Kind::Command;
        QString text;   // the command, or the script's text as the editor would hold it
        QString source; // the script's file name
    };

    Command command = Command::List;
    DriverKind driver = DriverKind::Auto;
    QStringList ports;
    BrokerOptions::Choice broker; // serve, --driver=mqtt
    QStringList boards;           // send: one; monitor: one or more, each once
    QList<Step> steps;
    QList<int> channels; // --adc, ascending, each once
    QList<int> pins;     // --pins, ascending, each once
    std::optional<double> seconds;
    RecordFormat format = RecordFormat::Text;
    std::optional<QRegularExpression> expect;
    double timeoutSeconds = 5;
    int waitMs = 300; // send without --expect: how long answers are printed
    bool reconnect = false;
    // monitor: the rules file (read and checked here), and the severity from which a raised alarm fails the run.
    std::optional<AlarmSetup> alarms;
    std::optional<AlarmSeverity> failOnAlarm;
    // send, monitor: keep a journal in this folder (none when empty). journal: the folder to read.
    QString journalFolder;
    qint64 journalMaxMiB = 1024;   // the oldest journal files go past this total ...
    int journalMaxDays = 90;       // ... or this age
    bool journalEveryPoll = false; // --journal-polls
    // journal: what to read back.
    std::optional<qint64> sinceMs;
    std::optional<qint64> untilMs;
    QStringList kinds;
    bool journalList = false; // journal --list: the boards with a journal
    // test: the plan (read and checked here), where its reports go, and how often the board is polled.
    std::optional<TestPlan> plan;
    QString junitFile;
    QString reportFile;
    int pollMs = 100;
    // serve: the broker, the boards, what is published and whether control is allowed.
    BridgeOptions bridge;
    // --driver=replay: the journal played back (--journal), its span and speed.
    ReplayOptions replay;
};

// The outcome of reading the command line: the options to run with, or a text to print and an exit code (--help
// and --version print to stdout and exit 0; a usage error prints one line saying which option and what was wrong,
// to stderr, and exits 2). Scripts named by --script are read here, by the script editor's rules.
struct ParsedCliOptions {
    CliOptions options;
    std::optional<int> exitCode;
    QString output;
    QString error;
};

ParsedCliOptions parseCliOptions(const QStringList &arguments);

// A list of numbers within [low, high]: "1,3,5-8". Nothing when it is not one.
std::optional<QList<int>> parseNumberList(const QString &text, int low, int high);

// The exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotMet = 1; // also: test, a step failed; monitor, an alarm of --fail-on-alarm raised
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoBoard = 3;
inline constexpr int kExitLost = 4;
inline constexpr int kExitOutput = 5;
// The broker refused the connection for a reason that trying again cannot change (credentials, not authorised, TLS
// verification): serve, and every command on --driver=mqtt.
inline constexpr int kExitBrokerRefused = 6;
// A run interrupted by a signal: 128 + the signal's number, as a shell reports it (130 SIGINT, 143 SIGTERM).
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitTerminated = 143;
