#include "alarms/alarm_settings.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/console.h"
#include "device/diagnostics.h"
#include "device/driver.h"
#include "network/remote_driver.h"
#include "replay/replay_options.h"
#include "session/stop_signals.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

constexpr int kRefusalWatchMs = 250;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-cli"));
    // A board's calibration is the one the operator gave it in the window program.
    keepBoardSettingsOf(QString::fromLatin1(kWindowProgramOrganisation),
                        QString::fromLatin1(kWindowProgramApplication));
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
    // A broker that lets us in no more (a password changed, access taken away) ends the run: no retry can change it,
    // and a board waited for would never come back.
    const auto *remote = dynamic_cast<const RemoteDriver *>(choice.driver.get());
    bool refusedMidRun = false;
    QTimer refusalWatch;
    if (remote) {
        QObject::connect(&refusalWatch, &QTimer::timeout, &runner, [&] {
            const ConnectionRefusal refusal = remote->refusal();
            if (refusedMidRun || !refusal.final)
                return;
            refusedMidRun = true;
            qCWarning(lcDevice).noquote() << QStringLiteral("broker %1:%2 refused the connection: %3")
                                                 .arg(options.broker.broker.host)
                                                 .arg(options.broker.broker.port)
                                                 .arg(refusal.reason);
            runner.requestStop(SIGTERM);
        });
        refusalWatch.start(kRefusalWatchMs);
    }
    const int exitCode = runner.run();
    return refusedMidRun ? kExitBrokerRefused : exitCode;
}
