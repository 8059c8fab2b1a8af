#include "app/ending.h"
#include "file_helpers.h"
#include "program.h"
#include "session/stop_signals.h"

#include <QRegularExpression>
#include <QTest>

#include <qt_windows.h>

// Windows ending the session (log-off, shut-down) asks each top-level window with WM_QUERYENDSESSION, then ends it
// with WM_ENDSESSION: the program agrees, asks nothing, keeps the unsaved script and writes its layout, as on SIGTERM
// on POSIX (tst_data_safety). Shown by the windows platform, as Windows sends the messages to a real window.
class TestEndSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loggingOffKeepsTheScriptWithoutQuestions()
    {
        auto program = std::make_unique<Program>(QStringList{"A1B2"});
        program->com()->DevicesList()->setCurrentRow(0);
        program->com()->DevicesList_Click();
        program->main->view<formScripting>()->setText(QStringLiteral("unsaved\nlines"));
        StopSignals stop;
        endWithoutQuestionsWhenAsked(*program->main, stop);
        QVERIFY(QTest::qWaitForWindowExposed(program->main.get()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^the unsaved script was written to .*"
                                                                             "Untitled.txt.recovered$")));
        const HWND window = HWND(program->main->winId());
        QVERIFY(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) != 0); // not refused
        SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        QTRY_VERIFY(!program->main->isVisible());
        QCOMPARE(program->dialogs.saveQuestions, 0);
        QCOMPARE(program->driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(readFile(program->path(QStringLiteral("database.ini"))).count("\r\n"), 18);
        QCOMPARE(readFile(program->path(QStringLiteral("Untitled.txt.recovered"))), QByteArray("unsaved\r\nlines"));
    }
};

QTEST_MAIN(TestEndSession)
#include "tst_end_session.moc"
