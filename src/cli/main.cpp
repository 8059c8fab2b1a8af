#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "device/diagnostics.h"
#include "device/driver.h"
#include "network/remote_driver.h"
#include "session/stop_signals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    printDiagnosticsAs("vantrel-cli");
#ifdef SIGPIPE
    // A reader that goes away (a pipe to head) is seen as a failed write, and the run ends cleanly.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    // A file over its size limit is a failed write, said and ended with exit code 5, not a killed process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    const ParsedCliOptions parsed = parseCliOptions(QCoreApplication::arguments());
    if (parsed.exitCode) {
        std::fputs(qPrintable(parsed.output), stdout);
        std::fputs(qPrintable(parsed.error), stderr);
        return *parsed.exitCode;
    }
    const CliOptions &options = parsed.options;
    DriverChoice choice = options.driver == DriverKind::Mqtt
                              ? makeRemoteDriver(options.broker.broker, options.broker.prefix)
                              : makeDriver(options.driver, options.ports);
    if (!choice.notice.isEmpty())
        qCWarning(lcDevice).noquote() << choice.notice;

    CliRunner runner(*choice.driver, parsed.options, stdout, stderr);
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &runner, &CliRunner::requestStop);
    return runner.run();
}
