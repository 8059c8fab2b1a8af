#include "file_helpers.h"
#include "plans/plan_run.h"
#include "program.h"
#include "windows/communications/form_communications.h"
#include "windows/test_plan/form_test_plan.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

// The test plan window inside the program: opened from the View menu, a plan run on the open board from the
// keyboard with its steps and verdict shown, reports saved, and plans that must not run refused.
class TestTestPlanWindow : public QObject
{
    Q_OBJECT

private:
    static formTestPlan *openPlan(Program &program, const QByteArray &text)
    {
        const QString path = program.path(QStringLiteral("p.toml"));
        writeFile(path, text);
        program.main->viewItem(formTestPlan::kView)->trigger();
        formTestPlan *window = program.main->existingView<formTestPlan>();
        program.dialogs.fileNames = {path};
        window->findChild<QPushButton *>(QStringLiteral("openPlan"))->click();
        return window;
    }

    static void select(Program &program)
    {
        program.com()->DevicesList()->setCurrentRow(0);
        program.com()->DevicesList_Click();
    }

private Q_SLOTS:
    void aPlanRunsFromTheKeyboardAndIsReported()
    {
        Program program({"DEMO0002"});
        QCOMPARE(program.main->viewItem(formTestPlan::kView)->text(), QStringLiteral("Test &Plan"));
        select(program);
        formTestPlan *window = openPlan(program, "name = 'Check'\nboard = 'DEMO0002'\n"
                                                 "[[step]]\nname = 'Identity'\nsend = 'id'\nexpect = 'firmware 3'\n"
                                                 "[[step]]\nname = 'Settle'\nwait_ms = 10\n");
        QTableWidget *table = window->table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, formTestPlan::StepColumn)->text(), QStringLiteral("Identity"));
        QCOMPARE(table->horizontalHeaderItem(formTestPlan::TimeColumn)->text(), QStringLiteral("Time"));
        QCOMPARE(window->verdict()->accessibleName(), QStringLiteral("Verdict"));

        program.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
        table->setFocus();
        QTest::keyClick(table, Qt::Key_F5);
        QVERIFY(window->isRunning());
        QCOMPARE(window->verdict()->text(), QStringLiteral("RUNNING"));
        // The board answers what the plan sent (queued earlier, a poll might take it before the run begins).
        program.driver.queue("Vantrel USB I/O board DEMO0002 firmware 3.0\r\n");
        QTRY_COMPARE(window->verdict()->text(), QStringLiteral("PASS"));
        QCOMPARE(table->item(0, formTestPlan::ResultColumn)->text(), QStringLiteral("PASS"));
        QCOMPARE(table->item(0, formTestPlan::MeasuredColumn)->text(),
                 QStringLiteral("Vantrel USB I/O board DEMO0002 firmware 3.0"));
        QVERIFY(table->item(1, formTestPlan::TimeColumn)->text().endsWith(QStringLiteral(" s")));
        // Its commands are the operator's: logged as typed commands are.
        QVERIFY(program.log().contains(QStringLiteral(">id\r\n")));
        QVERIFY(program.driver.writes().contains("id\r\n"));

        program.dialogs.fileNames = {program.path(QStringLiteral("report"))};
        window->findChild<QPushButton *>(QStringLiteral("saveReport"))->click();
        QVERIFY(readFile(program.path(QStringLiteral("report.xml"))).contains("<testsuite name=\"Check\" tests=\"2\""));
        QVERIFY(window->saveReport(program.path(QStringLiteral("report.html"))));
        QVERIFY(readFile(program.path(QStringLiteral("report.html"))).contains("PASS: 2 of 2 steps passed"));

        // The layout file does not know the window.
        QVERIFY(program.main->close());
        const QByteArray layout = readFile(program.path(QStringLiteral("database.ini")));
        QCOMPARE(layout.count("\r\n"), 18);
        QVERIFY(!layout.toLower().contains("plan"));
    }

    void plansThatMustNotRunAreRefused_data()
    {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<bool>("selectBoard");
        QTest::addColumn<QString>("message");
        QTest::newRow("plan error") << QByteArray("[[step]]\nsend = 3\n") << true
                                    << "p.toml:2:1: step 1: \"send\" must be a string";
        QTest::newRow("no board open") << QByteArray("[[step]]\nsend = 'id'\n") << false
                                       << "No board is open: choose one in the Communications window first.";
        QTest::newRow("another board") << QByteArray("board = 'DEMO0009'\n[[step]]\nsend = 'id'\n") << true
                                       << "This plan is for board DEMO0009; the board open is DEMO0002.";
    }

    void plansThatMustNotRunAreRefused()
    {
        QFETCH(QByteArray, plan);
        QFETCH(bool, selectBoard);
        QFETCH(QString, message);
        Program program({"DEMO0002"});
        if (selectBoard)
            select(program);
        formTestPlan *window = openPlan(program, plan);
        program.driver.clearCalls();
        window->run();
        QVERIFY2(window->message().endsWith(message), qPrintable(window->message()));
        QVERIFY(!window->isRunning());
        QCOMPARE(window->verdict()->text(), QString());
        QCOMPARE(program.driver.count(DriverCall::Write), 0);
    }

    void closingTheWindowStopsTheRun()
    {
        Program program({"DEMO0002"});
        select(program);
        formTestPlan *window = openPlan(program, "[[step]]\nexpect_pin = 3\nexpect_level = 1\n");
        window->run();
        QVERIFY(window->isRunning());
        program.main->subWindowOf(window)->close();
        QVERIFY(window->lastRun()->isFinished());
        QCOMPARE(window->lastRun()->count(StepResult::Outcome::Skipped), 1);
        QVERIFY(!program.main->session().setup().isMonitored(3));
    }
};

QTEST_MAIN(TestTestPlanWindow)
#include "tst_test_plan_window.moc"
