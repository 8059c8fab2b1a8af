#include "alarms/alarm_settings.h"
#include "app/desk_memory.h"
#include "app/ending.h"
#include "app/form_main.h"
#include "app/options.h"
#include "app/parent_console.h"
#include "device/diagnostics.h"
#include "device/driver.h"
#include "files/user_folders.h"
#include "host/program_journal.h"
#include "network/remote_driver.h"
#include "replay/replay_options.h"
#include "session/stop_signals.h"
#include "windows/dialogs.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The runner reads the boards' calibration under the same names.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kWindowProgramOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kWindowProgramApplication));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    useUserFolders();
    useParentConsole();
    printDiagnosticsAs("vantrel-control");

    // Options come first, so --help, --version and usage errors work without a display.
    ParsedOptions parsed;
    {
        QCoreApplication console(argc, argv);
        parsed = parseOptions(QCoreApplication::arguments());
    }
    if (parsed.exitCode) {
        std::fputs(parsed.output.toUtf8().constData(), stdout);
        std::fputs(parsed.error.toUtf8().constData(), stderr);
        return *parsed.exitCode;
    }
    const Options &options = parsed.options;

    QApplication application(argc, argv);
    // The windows are laid out in twips for a compact 8-point font.
    QFont font = QApplication::font();
    if (font.pointSizeF() > 8.0) {
        font.setPointSizeF(8.0);
        QApplication::setFont(font);
    }
    const bool replaying = options.driver == DriverKind::Replay;
    DriverChoice choice = options.driver == DriverKind::Mqtt
                              ? makeRemoteDriver(options.broker.broker, options.broker.prefix)
                          : replaying ? makeReplayDriver(options.replay)
                                      : makeDriver(options.driver, options.ports);
    if (!choice.notice.isEmpty())
        qCWarning(lcDevice).noquote() << choice.notice;

    Dialogs dialogs;
    formMain mainWindow(*choice.driver, dialogs);
    mainWindow.host().setReconnect(options.reconnect);
    if (options.alarms)
        mainWindow.host().setAlarmFile(*options.alarms);
    // What is played back is not journaled again.
    if (!replaying)
        setUpProgramJournal(mainWindow.host(), options.journalFolder, options.keepJournal, options.journalEveryPoll);
    // Where the operator looks: the log, not only a terminal that may not be there.
    if (!choice.notice.isEmpty())
        mainWindow.LogLine(choice.notice);
    mainWindow.show();
    // A replay neither puts back the desk of last time (its boards and set-up are the journal's) nor keeps its own.
    if (!options.restore || replaying)
        mainWindow.keepLastDesk();
    else if (restoreAtStart())
        mainWindow.restoreDesk(options.script.isEmpty());
    if (!options.script.isEmpty())
        mainWindow.openScriptFile(options.script);
    mainWindow.bringRecoveryToFront();
    if (replaying)
        mainWindow.showReplay();

    StopSignals stop;
    endWithoutQuestionsWhenAsked(mainWindow, stop);
    return QApplication::exec();
}
