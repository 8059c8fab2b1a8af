#include "cli/cli_options.h"

#include "device/board_limits.h"
#include "device/driver_options.h"
#include "files/script_file.h"
#include "network/broker_options.h"
#include "plans/plan_reader.h"
#include "records/journal.h"
#include "records/journal_reader.h"
#include "replay/replay_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace {

const char kDescription[] =
    "Runs the Vantrel USB I/O board from scripts and test benches, without a window.\n"
    "\n"
    "Commands:\n"
    "  list      Print the serial numbers of the attached boards, one per line.\n"
    "  send      Open --board, send each --command (with CR LF) and --script (as Send Script sends it; - reads\n"
    "            standard input) in the order given, print the lines the board answers until --expect matches\n"
    "            or for --wait milliseconds, and close the board.\n"
    "  monitor   Open --board (give it once per board to monitor several), switch on reports of --pins,\n"
    "            request --adc channels ten times a second, and print one record per reading, pin level and\n"
    "            other line, in time order, until --seconds pass or Ctrl+C.\n"
    "  journal   Print what the journal in --dir kept of --board, in time order: --since and --until (ISO 8601\n"
    "            or -30s, -10m, -2h, -1d) and --kind (adc,pin,line,command,...) choose which. With --list: each\n"
    "            board with a journal in --dir, its first and last time and the bytes its files take.\n"
    "  serve     Serve every attached board (or each --board) on the MQTT broker --broker mqtt://HOST:PORT:\n"
    "            readings of --adc, levels of --pins, other lines and every event under PREFIX/SERIAL/...;\n"
    "            with --allow-control, commands published to PREFIX/SERIAL/send, pin/N/set, pin/N/monitor and\n"
    "            led/set are carried out (SERIAL: the board's name as one topic level, /dev/ttyACM0 as\n"
    "            _dev_ttyACM0). Runs until SIGINT or SIGTERM (then exit 0).\n"
    "\n"
    "  With --driver=replay --journal DIR, the boards are the journal's in DIR played back: list, monitor and\n"
    "  serve work on them as on boards attached now, from --since to --until at --speed 1, 2, 10, 100 or max\n"
    "  (monitor: max; serve: 1), and end at the span's end. A replay takes no commands.\n"
    "  test      Run the test plan PLAN.toml on --board (or the board the plan names): one line per step as it\n"
    "            ends and a closing PASS or FAIL line; --junit and --report write JUnit XML and HTML reports.\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  --expect was not met within --timeout; test: a step failed\n"
    "  2  usage error; test: an error in the plan\n"
    "  3  a board is not listed or could not be opened (then none is opened); journal: the board has no journal\n"
    "  4  the board was lost while in use (test: the steps left are errors)\n"
    "  5  the output could not be written (a reader that goes away is not a failure)\n"
    "  6  serve, --driver=mqtt: the broker refused the connection (credentials, not authorised, TLS verification)\n"
    "  130, 143  interrupted by SIGINT, or by SIGTERM or SIGHUP (monitor without --expect ends with 0)";

ParsedCliOptions usageError(const QString &message)
{
    ParsedCliOptions parsed;
    parsed.exitCode = kExitUsage;
    parsed.error = QStringLiteral("vantrel-cli: %1\nTry 'vantrel-cli --help' for more.\n").arg(message);
    return parsed;
}

std::optional<double> positiveSeconds(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > 1e7)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<QList<int>> parseNumberList(const QString &text, int low, int high)
{
    QList<int> numbers;
    for (const QString &part : text.split(u',')) {
        const QStringList ends = part.trimmed().split(u'-');
        if (ends.size() > 2)
            return std::nullopt;
        bool okFirst = false;
        bool okLast = true;
        const int first = ends.first().toInt(&okFirst);
        const int last = ends.size() == 2 ? ends.last().toInt(&okLast) : first;
        if (!okFirst || !okLast || first < low || last > high || first > last)
            return std::nullopt;
        for (int n = first; n <= last; ++n)
            numbers.append(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

ParsedCliOptions parseCliOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const DriverOptions driverOptions;
    driverOptions.addTo(parser);
    const QCommandLineOption board(QStringLiteral("board"),
                                   QStringLiteral("The board, by serial number (monitor: once per board)."),
                                   QStringLiteral("serial"));
    const QCommandLineOption command(QStringLiteral("command"),
                                     QStringLiteral("send: a command to send as typed, followed by CR LF."),
                                     QStringLiteral("text"));
    const QCommandLineOption script(QStringLiteral("script"),
                                    QStringLiteral("send: a script file to send in one write, as Send Script does."),
                                    QStringLiteral("file"));
    const QCommandLineOption adc(QStringLiteral("adc"),
                                 QStringLiteral("monitor: analog channels to request, such as 1,3 or 1-8."),
                                 QStringLiteral("list"));
    const QCommandLineOption pins(QStringLiteral("pins"),
                                  QStringLiteral("monitor: pins whose level reports to switch on, such as 5,7-9."),
                                  QStringLiteral("list"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("monitor: stop after this many seconds (default: until Ctrl+C)."),
                                     QStringLiteral("n"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("send, monitor: records as text (default), csv or jsonl."),
                                    QStringLiteral("format"), QStringLiteral("text"));
    const QCommandLineOption expect(QStringLiteral("expect"),
                                    QStringLiteral("send, monitor: succeed as soon as a received line matches this "
                                                   "regular expression; fail with exit code 1 at the timeout."),
                                    QStringLiteral("regex"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("How long --expect waits, in seconds (default 5)."),
                                     QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("send: without --expect, how long to print what the board answers, "
                                                 "in milliseconds (default 300)."),
                                  QStringLiteral("ms"), QStringLiteral("300"));
    const QCommandLineOption journal(
        QStringLiteral("journal"),
        QStringLiteral("send, monitor, test: keep a journal of everything the board said and "
                       "was told in this folder."),
        QStringLiteral("folder"));
    const QCommandLineOption journalMiB(QStringLiteral("journal-max-mib"),
                                        QStringLiteral("send, monitor, test: delete the oldest journal files past this "
                                                       "many MiB in all (default 1024)."),
                                        QStringLiteral("mib"), QStringLiteral("1024"));
    const QCommandLineOption journalDays(
        QStringLiteral("journal-max-days"),
        QStringLiteral("send, monitor, test: delete journal files older than this many "
                       "days (default 90)."),
        QStringLiteral("days"), QStringLiteral("90"));
    const QCommandLineOption journalPolls(
        QStringLiteral("journal-polls"),
        QStringLiteral("send, monitor, test: journal each poll's requests, not one poll record each time the "
                       "channels or the period change."));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("journal: the journal's folder (default %1).")
                                     .arg(QDir::toNativeSeparators(defaultJournalFolder())),
                                 QStringLiteral("folder"));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("journal, --driver=replay: from this time on."),
                                   QStringLiteral("time"));
    const QCommandLineOption until(
        QStringLiteral("until"), QStringLiteral("journal, --driver=replay: up to this time."), QStringLiteral("time"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("--driver=replay: 1, 2, 10 or 100 times the recorded pace, or max "
                                                  "(as fast as it can; monitor's default)."),
                                   QStringLiteral("speed"));
    const QCommandLineOption kind(QStringLiteral("kind"), QStringLiteral("journal: only records of these kinds."),
                                  QStringLiteral("list"));
    const QCommandLineOption listBoards(
        QStringLiteral("list"),
        QStringLiteral("journal: list the boards with a journal in --dir, their first and last time and size."));
    const QCommandLineOption junit(QStringLiteral("junit"), QStringLiteral("test: write a JUnit XML report here."),
                                   QStringLiteral("file"));
    const QCommandLineOption report(QStringLiteral("report"), QStringLiteral("test: write an HTML report here."),
                                    QStringLiteral("file"));
    const QCommandLineOption pollMs(QStringLiteral("poll-ms"),
                                    QStringLiteral("test: poll the board every this many milliseconds (default "
                                                   "100, at least 5)."),
                                    QStringLiteral("ms"), QStringLiteral("100"));
    const QCommandLineOption qos(QStringLiteral("qos"), QStringLiteral("serve: MQTT quality of service, 0 or 1."),
                                 QStringLiteral("0|1"), QStringLiteral("0"));
    const QCommandLineOption allowControl(QStringLiteral("allow-control"),
                                          QStringLiteral("serve: carry out commands published to the control "
                                                         "topics (each is said on standard error)."));
    const QCommandLineOption haDiscovery(QStringLiteral("ha-discovery"),
                                         QStringLiteral("serve: publish Home Assistant discovery configs (retained) "
                                                        "for each board served."));
    const QCommandLineOption insecureControl(QStringLiteral("insecure-control"),
                                             QStringLiteral("serve: allow control over a broker that is neither "
                                                            "on this machine nor reached by TLS (mqtts://)."));
    const QCommandLineOption alarms(QStringLiteral("alarms"),
                                    QStringLiteral("monitor, serve, test: judge the readings by the calibration and "
                                                   "alarm rules of this TOML file; monitor prints alarm records among "
                                                   "the others, serve publishes value/C and alarm/NAME, test judges "
                                                   "limits in units by its calibration."),
                                    QStringLiteral("file"));
    const QCommandLineOption failOnAlarm(QStringLiteral("fail-on-alarm"),
                                         QStringLiteral("monitor: end with exit code 1 as soon as an alarm of this "
                                                        "severity or above is raised (info, warning, critical)."),
                                         QStringLiteral("severity"));
    const QCommandLineOption reconnect(QStringLiteral("reconnect"),
                                       QStringLiteral("Wait for a board that is pulled out and go on when it is "
                                                      "back, instead of exiting with code 4."));
    parser.addOptions({board,       command,     script,       adc,    pins,         seconds,
                       format,      expect,      timeout,      wait,   reconnect,    journal,
                       journalMiB,  journalDays, dir,          since,  until,        kind,
                       junit,       report,      pollMs,       qos,    allowControl, insecureControl,
                       haDiscovery, listBoards,  journalPolls, speed,  alarms,       failOnAlarm});
    const BrokerOptions brokerOptions(QStringLiteral("serve, --driver=mqtt"));
    brokerOptions.addTo(parser);
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, send, monitor, journal, test PLAN.toml or serve."),
                                 QStringLiteral("list|send|monitor|journal|test|serve"));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    ParsedCliOptions parsed;
    if (parser.isSet(helpOption)) {
        parsed.exitCode = kExitOk;
        parsed.output = parser.helpText();
        return parsed;
    }
    if (parser.isSet(versionOption)) {
        parsed.exitCode = kExitOk;
        parsed.output = QStringLiteral("vantrel-cli %1\n").arg(QCoreApplication::applicationVersion());
        return parsed;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("no command given: use list, send, monitor, journal, test or serve"));
    const bool isTest = positional.first() == u"test";
    if (isTest && positional.size() < 2)
        return usageError(QStringLiteral("test needs a plan file: vantrel-cli test PLAN.toml"));
    if (positional.size() > (isTest ? 2 : 1))
        return usageError(QStringLiteral("unexpected argument: %1").arg(positional[isTest ? 2 : 1]));
    CliOptions &options = parsed.options;
    const QString name = positional.first();
    if (name == u"list")
        options.command = CliOptions::Command::List;
    else if (name == u"send")
        options.command = CliOptions::Command::Send;
    else if (name == u"monitor")
        options.command = CliOptions::Command::Monitor;
    else if (name == u"journal")
        options.command = CliOptions::Command::Journal;
    else if (isTest)
        options.command = CliOptions::Command::Test;
    else if (name == u"serve")
        options.command = CliOptions::Command::Serve;
    else
        return usageError(
            QStringLiteral("unknown command \"%1\": use list, send, monitor, journal, test or serve").arg(name));

    QString error;
    const std::optional<DriverOptions::Choice> choice = driverOptions.read(parser, &error);
    if (!choice)
        return usageError(error);
    options.driver = choice->kind;
    options.ports = choice->ports;
    options.reconnect = parser.isSet(reconnect);

    // Options that belong to other commands are refused rather than ignored.
    const bool isSend = options.command == CliOptions::Command::Send;
    const bool isMonitor = options.command == CliOptions::Command::Monitor;
    const bool isJournal = options.command == CliOptions::Command::Journal;
    const bool opensBoard = isSend || isMonitor;
    const bool isServe = options.command == CliOptions::Command::Serve;
    const bool isReplay = options.driver == DriverKind::Replay;
    if (isReplay && (isSend || isTest))
        return usageError(QStringLiteral("%1 does not go with --driver=replay: a replay takes no commands").arg(name));
    const QList<std::pair<const QCommandLineOption *, bool>> allowed{
        {&board, opensBoard || isJournal || isTest || isServe},
        {&command, isSend},
        {&script, isSend},
        {&adc, isMonitor || isServe},
        {&pins, isMonitor || isServe},
        {&seconds, isMonitor},
        {&alarms, isMonitor || isServe || isTest},
        {&failOnAlarm, isMonitor},
        {&format, isSend || isMonitor || isJournal},
        {&expect, opensBoard},
        {&timeout, opensBoard},
        {&reconnect, opensBoard},
        {&wait, isSend},
        {&journal, opensBoard || isTest || isReplay},
        {&journalMiB, (opensBoard || isTest) && !isReplay},
        {&journalDays, (opensBoard || isTest) && !isReplay},
        {&journalPolls, (opensBoard || isTest) && !isReplay},
        {&dir, isJournal},
        {&since, isJournal || isReplay},
        {&until, isJournal || isReplay},
        {&speed, isReplay},
        {&kind, isJournal},
        {&listBoards, isJournal},
        {&junit, isTest},
        {&report, isTest},
        {&pollMs, isTest},
        {&qos, isServe},
        {&allowControl, isServe},
        {&insecureControl, isServe},
        {&haDiscovery, isServe},
    };
    for (const auto &[option, ok] : allowed) {
        if (!ok && parser.isSet(*option))
            return usageError(QStringLiteral("--%1 does not go with %2").arg(option->names().first(), name));
    }

    // The broker, for the bridge and for boards reached through one.
    if (isServe || options.driver == DriverKind::Mqtt) {
        const std::optional<BrokerOptions::Choice> broker =
            brokerOptions.read(parser, isServe ? QStringLiteral("serve") : QStringLiteral("--driver=mqtt"), &error);
        if (!broker)
            return usageError(error);
        options.broker = *broker;
    } else if (brokerOptions.anySet(parser)) {
        return usageError(QStringLiteral("--broker and its options go with serve or --driver=mqtt"));
    }

    if (isJournal) {
        options.boards = parser.values(board);
        options.journalList = parser.isSet(listBoards);
        if (options.journalList && !options.boards.isEmpty())
            return usageError(QStringLiteral("journal --list lists every board: it takes no --board"));
        if (!options.journalList && (options.boards.size() != 1 || options.boards.first().isEmpty()))
            return usageError(QStringLiteral("journal needs one --board SERIAL, or --list"));
        options.journalFolder = parser.isSet(dir) ? parser.value(dir) : defaultJournalFolder();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (const auto &[option, into] : {std::pair{&since, &options.sinceMs}, std::pair{&until, &options.untilMs}}) {
            if (!parser.isSet(*option))
                continue;
            *into = journalTime(parser.value(*option), now);
            if (!*into)
                return usageError(QStringLiteral("--%1: \"%2\" is not a time (ISO 8601, or -30s, -10m, -2h, -1d)")
                                      .arg(option->names().first(), parser.value(*option)));
        }
        static const QStringList kKinds{
            "adc",    "pin",    "line", "command", "selected",     "open_failed",        "lost",         "back",
            "closed", "status", "gap",  "poll",    "alarm_raised", "alarm_acknowledged", "alarm_cleared"};
        for (const QString &value : parser.values(kind)) {
            for (const QString &name : value.split(u',', Qt::SkipEmptyParts)) {
                if (!kKinds.contains(name.trimmed()))
                    return usageError(QStringLiteral("--kind: \"%1\" is not one of %2").arg(name, kKinds.join(u',')));
                options.kinds.append(name.trimmed());
            }
        }
    }
    if (isReplay) {
        // --journal names the journal played back; nothing is journaled in such a run.
        const std::optional<ReplayOptions> replay = readReplayOptions(
            parser.value(journal), parser.values(board), parser.value(since), parser.value(until),
            parser.isSet(speed) ? parser.value(speed) : (isServe ? QStringLiteral("1") : QStringLiteral("max")),
            &error);
        if (!replay)
            return usageError(error);
        options.replay = *replay;
        // A loss in the journal is part of what is played: the board comes back as it did.
        options.reconnect = true;
    }
    if (parser.isSet(alarms)) {
        auto read = readAlarmsFile(parser.value(alarms));
        if (const auto *error = std::get_if<PlanError>(&read))
            return usageError(error->text());
        options.alarms = std::get<AlarmSetup>(std::move(read));
    }
    if (parser.isSet(failOnAlarm)) {
        options.failOnAlarm = severityFromName(parser.value(failOnAlarm));
        if (!options.failOnAlarm)
            return usageError(QStringLiteral("--fail-on-alarm: \"%1\" is not info, warning or critical")
                                  .arg(parser.value(failOnAlarm)));
        if (!options.alarms)
            return usageError(QStringLiteral("--fail-on-alarm needs --alarms FILE"));
    }
    if (isTest) {
        auto plan = readPlanFile(positional[1]);
        if (const auto *error = std::get_if<PlanError>(&plan))
            return usageError(error->text());
        options.plan = std::get<TestPlan>(std::move(plan));
        const QString serial = parser.isSet(board) ? parser.value(board) : options.plan->board;
        if (parser.values(board).size() > 1)
            return usageError(QStringLiteral("test takes one --board"));
        if (serial.isEmpty())
            return usageError(QStringLiteral("test needs --board SERIAL, or a plan that names its board"));
        options.boards = {serial};
        options.junitFile = parser.value(junit);
        options.reportFile = parser.value(report);
        bool ok = false;
        options.pollMs = parser.value(pollMs).toInt(&ok);
        if (!ok || options.pollMs < 5 || options.pollMs > 10000)
            return usageError(
                QStringLiteral("--poll-ms: \"%1\" is not a whole number from 5 to 10000").arg(parser.value(pollMs)));
    }
    if (isServe) {
        BridgeOptions &bridge = options.bridge;
        if (options.driver == DriverKind::Mqtt)
            return usageError(QStringLiteral("serve serves the boards attached here, not --driver=mqtt"));
        bridge.broker = options.broker.broker;
        bridge.prefix = options.broker.prefix;
        bridge.boards = parser.values(board);
        if (parser.value(qos) != u"0" && parser.value(qos) != u"1")
            return usageError(QStringLiteral("--qos: \"%1\" is not 0 or 1").arg(parser.value(qos)));
        bridge.qos = parser.value(qos).toInt();
        bridge.allowControl = parser.isSet(allowControl);
        bridge.homeAssistant = parser.isSet(haDiscovery);
        bridge.alarms = options.alarms;
        // Control over a network that anyone on it can read and forge is refused unless asked for.
        if (bridge.allowControl && !bridge.broker.tls && !parser.isSet(insecureControl) && !bridge.broker.isLoopback())
            return usageError(QStringLiteral("--allow-control over %1 needs TLS (mqtts://) or --insecure-control, "
                                             "unless the broker is on this machine")
                                  .arg(shownBrokerUrl(parser.value(QStringLiteral("broker")))));
    }
    if (parser.isSet(journal) && !isReplay) {
        options.journalFolder = parser.value(journal);
        if (options.journalFolder.isEmpty())
            return usageError(QStringLiteral("--journal needs a folder"));
    }
    // Journal limits: whole numbers, so that a typo never prunes everything.
    const auto limitOf = [&parser](const QCommandLineOption &option) -> std::optional<int> {
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        return ok && value >= 1 && value <= 1000000 ? std::optional(value) : std::nullopt;
    };
    for (const QCommandLineOption *option : {&journalMiB, &journalDays}) {
        if (!limitOf(*option))
            return usageError(QStringLiteral("--%1: \"%2\" is not a whole number from 1 to 1000000")
                                  .arg(option->names().first(), parser.value(*option)));
    }
    options.journalMaxMiB = *limitOf(journalMiB);
    options.journalMaxDays = *limitOf(journalDays);
    options.journalEveryPoll = parser.isSet(journalPolls);
    if (opensBoard) {
        options.boards = parser.values(board);
        if (options.boards.isEmpty() || options.boards.contains(QString()))
            return usageError(QStringLiteral("%1 needs --board SERIAL").arg(name));
        if (isSend && options.boards.size() > 1)
            return usageError(QStringLiteral("send takes one --board"));
        for (const QString &serial : options.boards) {
            if (options.boards.count(serial) > 1)
                return usageError(QStringLiteral("--board: %1 is given twice").arg(serial));
        }
    }
    if (parser.isSet(expect)) {
        QRegularExpression pattern(parser.value(expect));
        if (!pattern.isValid())
            return usageError(QStringLiteral("--expect: %1 at offset %2")
                                  .arg(pattern.errorString())
                                  .arg(pattern.patternErrorOffset()));
        options.expect = pattern;
    }
    // Each bad value is named with its option.
    const auto secondsOf = [&parser](const QCommandLineOption &option) {
        return positiveSeconds(parser.value(option));
    };
    const auto notSeconds = [&parser](const QCommandLineOption &option) {
        return usageError(QStringLiteral("--%1: \"%2\" is not a positive number of seconds")
                              .arg(option.names().first(), parser.value(option)));
    };
    const auto listOf = [&parser](const QCommandLineOption &option, int high) {
        return parseNumberList(parser.values(option).join(u','), 1, high);
    };
    const auto notList = [&parser](const QCommandLineOption &option, const char *what, int high) {
        return usageError(QStringLiteral("--%1: \"%2\" is not a list of %3 1 to %4")
                              .arg(option.names().first(), parser.values(option).join(u','), QLatin1String(what))
                              .arg(high));
    };
    if (const std::optional<double> value = secondsOf(timeout))
        options.timeoutSeconds = *value;
    else
        return notSeconds(timeout);
    {
        bool ok = false;
        const int ms = parser.value(wait).toInt(&ok);
        if (!ok || ms < 0 || ms > 86'400'000)
            return usageError(QStringLiteral("--wait: \"%1\" is not a number of milliseconds").arg(parser.value(wait)));
        options.waitMs = ms;
    }
    if (parser.isSet(seconds)) {
        options.seconds = secondsOf(seconds);
        if (!options.seconds)
            return notSeconds(seconds);
    }
    if (parser.isSet(adc)) {
        const std::optional<QList<int>> list = listOf(adc, kLastChannel);
        if (!list)
            return notList(adc, "channels", kLastChannel);
        options.channels = *list;
        options.bridge.channels = *list;
    }
    if (parser.isSet(pins)) {
        const std::optional<QList<int>> list = listOf(pins, kLastPin);
        if (!list)
            return notList(pins, "pins", kLastPin);
        options.pins = *list;
        options.bridge.pins = *list;
    }
    const QString formatName = parser.value(format);
    if (formatName == u"text")
        options.format = RecordFormat::Text;
    else if (formatName == u"csv")
        options.format = RecordFormat::Csv;
    else if (formatName == u"jsonl")
        options.format = RecordFormat::Jsonl;
    else
        return usageError(QStringLiteral("--format: \"%1\" is not text, csv or jsonl").arg(formatName));

    // Commands and scripts go out in the order they stand on the command line.
    qsizetype commandAt = 0;
    qsizetype scriptAt = 0;
    const QStringList commands = parser.values(command);
    const QStringList scripts = parser.values(script);
    for (const QString &option : parser.optionNames()) {
        if (command.names().contains(option)) {
            options.steps.append({CliOptions::Step::Kind::Command, commands.value(commandAt++), QString()});
        } else if (script.names().contains(option)) {
            const QString path = scripts.value(scriptAt++);
            const LoadedScript loaded = readScriptArgument(path);
            if (!loaded.ok)
                return usageError(QStringLiteral("--script: \"%1\" could not be read: %2")
                                      .arg(QDir::toNativeSeparators(path), loaded.error));
            options.steps.append({CliOptions::Step::Kind::Script, loaded.editorText, path});
        }
    }
    return parsed;
}
