#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/console.h"
#include "device/diagnostics.h"
#include "device/driver.h"
#include "network/remote_driver.h"
#include "replay/replay_options.h"
#include "session/stop_signals.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    printDiagnosticsAs("vantrel-cli");
    prepareConsole();

    const ParsedCliOptions parsed = parseCliOptions(QCoreApplication::arguments());
    if (parsed.exitCode) {
        std::fputs(parsed.output.toUtf8().constData(), stdout);
        std::fputs(parsed.error.toUtf8().constData(), stderr);
        return *parsed.exitCode;
    }
    const CliOptions &options = parsed.options;
    DriverChoice choice = options.driver == DriverKind::Mqtt
                              ? makeRemoteDriver(options.broker.broker, options.broker.prefix)
                          : options.driver == DriverKind::Replay ? makeReplayDriver(options.replay)
                                                                 : makeDriver(options.driver, options.ports);
    if (!choice.notice.isEmpty())
        qCWarning(lcDevice).noquote() << choice.notice;
    if (choice.refused)
        return kExitBrokerRefused;

    CliRunner runner(*choice.driver, parsed.options, stdout, stderr);
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &runner, &CliRunner::requestStop);
    return runner.run();
}
