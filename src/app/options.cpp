#include "app/options.h"

#include "device/driver_options.h"
#include "replay/replay_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace {

ParsedOptions usageError(const QCommandLineParser &parser, const QString &message)
{
    ParsedOptions parsed;
    parsed.exitCode = 2;
    parsed.error = QStringLiteral("vantrel-control: %1\n\n%2").arg(message, parser.helpText());
    return parsed;
}

} // namespace

ParsedOptions parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Test and demo console for the Vantrel USB I/O board."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const DriverOptions driverOptions;
    driverOptions.addTo(parser);
    const BrokerOptions brokerOptions(QStringLiteral("--driver=mqtt"));
    brokerOptions.addTo(parser);
    const QCommandLineOption noReconnectOption(
        QStringLiteral("no-reconnect"),
        QStringLiteral("Leave a board that was pulled out while open lost, instead of opening it again when it is "
                       "plugged back in."));
    parser.addOption(noReconnectOption);
    const QCommandLineOption noRestoreOption(
        QStringLiteral("no-restore"),
        QStringLiteral("Start with no board selected and no script open, whatever was selected and open when the "
                       "program last ended (this run only)."));
    parser.addOption(noRestoreOption);
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("Keep the journal (everything the board said and was told, time-stamped) in this folder."),
        QStringLiteral("folder"));
    const QCommandLineOption noJournalOption(QStringLiteral("no-journal"),
                                             QStringLiteral("Keep no journal in this run."));
    const QCommandLineOption journalPollsOption(
        QStringLiteral("journal-polls"),
        QStringLiteral("Journal each poll's requests, not one poll record each time the channels or the period "
                       "change."));
    const QCommandLineOption alarmsOption(
        QStringLiteral("alarms"),
        QStringLiteral("Judge every board's readings by the calibration and alarm rules of this TOML file (this run; "
                       "the board's own rules otherwise)."),
        QStringLiteral("file"));
    parser.addOptions({journalOption, noJournalOption, journalPollsOption, alarmsOption});
    const QCommandLineOption boardOption(QStringLiteral("board"),
                                         QStringLiteral("--driver=replay: play back this board's journal only (may be "
                                                        "given more than once)."),
                                         QStringLiteral("serial"));
    const QCommandLineOption sinceOption(QStringLiteral("since"),
                                         QStringLiteral("--driver=replay: from this time on (ISO 8601, or -30s, -10m, "
                                                        "-2h, -1d)."),
                                         QStringLiteral("time"));
    const QCommandLineOption untilOption(QStringLiteral("until"), QStringLiteral("--driver=replay: up to this time."),
                                         QStringLiteral("time"));
    const QCommandLineOption speedOption(QStringLiteral("speed"),
                                         QStringLiteral("--driver=replay: 1, 2, 10 or 100 times the recorded pace, or "
                                                        "max (default 1)."),
                                         QStringLiteral("speed"));
    parser.addOptions({boardOption, sinceOption, untilOption, speedOption});
    parser.addPositionalArgument(QStringLiteral("script"), QStringLiteral("A script file to open in the editor."),
                                 QStringLiteral("[script]"));

    ParsedOptions parsed;
    if (!parser.parse(arguments))
        return usageError(parser, parser.errorText());
    if (parser.isSet(helpOption)) {
        parsed.exitCode = 0;
        parsed.output = parser.helpText();
        return parsed;
    }
    if (parser.isSet(versionOption)) {
        parsed.exitCode = 0;
        parsed.output = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
        return parsed;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(parser, QStringLiteral("unexpected argument: %1").arg(positional[1]));
    // A script that cannot be read does not keep the program from starting (a stale shortcut, a file manager's
    // "Open with"): the editor says why, as Open does.
    if (positional.size() == 1)
        parsed.options.script = QFileInfo(positional.first()).absoluteFilePath();

    QString error;
    const std::optional<DriverOptions::Choice> choice = driverOptions.read(parser, &error);
    if (!choice)
        return usageError(parser, error);
    parsed.options.driver = choice->kind;
    parsed.options.ports = choice->ports;
    if (choice->kind == DriverKind::Mqtt) {
        const std::optional<BrokerOptions::Choice> broker =
            brokerOptions.read(parser, QStringLiteral("--driver=mqtt"), &error);
        if (!broker)
            return usageError(parser, error);
        parsed.options.broker = *broker;
    } else if (brokerOptions.anySet(parser)) {
        return usageError(parser, QStringLiteral("--broker and its options go with --driver=mqtt"));
    }
    if (choice->kind == DriverKind::Replay) {
        // --journal names the journal played back, and nothing is journaled while it plays.
        const std::optional<ReplayOptions> replay =
            readReplayOptions(parser.value(journalOption), parser.values(boardOption), parser.value(sinceOption),
                              parser.value(untilOption), parser.value(speedOption), &error);
        if (!replay)
            return usageError(parser, error);
        if (parser.isSet(noJournalOption) || parser.isSet(journalPollsOption))
            return usageError(parser, QStringLiteral("a replay keeps no journal: --journal names the one played back"));
        parsed.options.replay = *replay;
        parsed.options.keepJournal = false;
        parsed.options.reconnect = true;
        parsed.options.restore = !parser.isSet(noRestoreOption);
        return parsed;
    }
    for (const QCommandLineOption *option : {&boardOption, &sinceOption, &untilOption, &speedOption}) {
        if (parser.isSet(*option))
            return usageError(parser, QStringLiteral("--%1 goes with --driver=replay").arg(option->names().first()));
    }
    parsed.options.reconnect = !parser.isSet(noReconnectOption);
    parsed.options.restore = !parser.isSet(noRestoreOption);
    if (parser.isSet(journalOption) && parser.isSet(noJournalOption))
        return usageError(parser, QStringLiteral("--journal contradicts --no-journal"));
    if (parser.isSet(journalOption)) {
        parsed.options.journalFolder = parser.value(journalOption);
        if (parsed.options.journalFolder.isEmpty())
            return usageError(parser, QStringLiteral("--journal needs a folder"));
        parsed.options.keepJournal = true;
    } else if (parser.isSet(noJournalOption)) {
        parsed.options.keepJournal = false;
    }
    parsed.options.journalEveryPoll = parser.isSet(journalPollsOption);
    if (parser.isSet(alarmsOption)) {
        auto read = readAlarmsFile(parser.value(alarmsOption));
        if (const auto *failure = std::get_if<PlanError>(&read))
            return usageError(parser, failure->text());
        parsed.options.alarms = std::get<AlarmSetup>(std::move(read));
    }
    return parsed;
}
