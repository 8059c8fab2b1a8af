#include "fake_workspace.h"
#include "file_helpers.h"
#include "plans/plan_run.h"
#include "windows/test_plan/form_test_plan.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

// The test plan window on a workspace of its own: a plan run on the open board from the keyboard with its steps and
// verdict shown, reports saved, and plans that must not run refused.
class TestTestPlanWindow : public QObject
{
    Q_OBJECT

private:
    static formTestPlan *openPlan(FakeWorkspace &workspace, const QByteArray &text)
    {
        const QString path = workspace.path(QStringLiteral("p.toml"));
        writeFile(path, text);
        formTestPlan *window = workspace.open<formTestPlan>();
        workspace.scripted.fileNames = {path};
        window->findChild<QPushButton *>(QStringLiteral("openPlan"))->click();
        return window;
    }

private Q_SLOTS:
    void aPlanRunsFromTheKeyboardAndIsReported()
    {
        FakeWorkspace workspace({"DEMO0002"});
        workspace.host().select(0);
        formTestPlan *window = openPlan(workspace, "name = 'Check'\nboard = 'DEMO0002'\n"
                                                   "[[step]]\nname = 'Identity'\nsend = 'id'\nexpect = 'firmware 3'\n"
                                                   "[[step]]\nname = 'Settle'\nwait_ms = 10\n");
        QTableWidget *table = window->table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, formTestPlan::StepColumn)->text(), QStringLiteral("Identity"));
        QCOMPARE(table->horizontalHeaderItem(formTestPlan::TimeColumn)->text(), QStringLiteral("Time"));
        QCOMPARE(window->verdict()->accessibleName(), QStringLiteral("Verdict"));

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        table->setFocus();
        QTest::keyClick(table, Qt::Key_F5);
        QVERIFY(window->isRunning());
        QCOMPARE(window->verdict()->text(), QStringLiteral("RUNNING"));
        // The board answers what the plan sent (queued earlier, a poll might take it before the run begins).
        workspace.driver.queue("Vantrel USB I/O board DEMO0002 firmware 3.0\r\n");
        QTRY_COMPARE(window->verdict()->text(), QStringLiteral("PASS"));
        QCOMPARE(table->item(0, formTestPlan::ResultColumn)->text(), QStringLiteral("PASS"));
        QCOMPARE(table->item(0, formTestPlan::MeasuredColumn)->text(),
                 QStringLiteral("Vantrel USB I/O board DEMO0002 firmware 3.0"));
        QVERIFY(table->item(1, formTestPlan::TimeColumn)->text().endsWith(QStringLiteral(" s")));
        // Its commands are the operator's: logged as typed commands are.
        QVERIFY(workspace.told.logText().contains(QStringLiteral(">id\r\n")));
        QVERIFY(workspace.driver.writes().contains("id\r\n"));

        workspace.scripted.fileNames = {workspace.path(QStringLiteral("report"))};
        window->findChild<QPushButton *>(QStringLiteral("saveReport"))->click();
        QVERIFY(
            readFile(workspace.path(QStringLiteral("report.xml"))).contains("<testsuite name=\"Check\" tests=\"2\""));
        QVERIFY(window->saveReport(workspace.path(QStringLiteral("report.html"))));
        QVERIFY(readFile(workspace.path(QStringLiteral("report.html"))).contains("PASS: 2 of 2 steps passed"));
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
        FakeWorkspace workspace({"DEMO0002"});
        if (selectBoard)
            workspace.host().select(0);
        formTestPlan *window = openPlan(workspace, plan);
        workspace.driver.clearCalls();
        window->run();
        QVERIFY2(window->message().endsWith(message), qPrintable(window->message()));
        QVERIFY(!window->isRunning());
        QCOMPARE(window->verdict()->text(), QString());
        QCOMPARE(workspace.driver.count(DriverCall::Write), 0);
    }

    void closingTheWindowStopsTheRun()
    {
        FakeWorkspace workspace({"DEMO0002"});
        workspace.host().select(0);
        formTestPlan *window = openPlan(workspace, "[[step]]\nexpect_pin = 3\nexpect_level = 1\n");
        window->run();
        QVERIFY(window->isRunning());
        window->close();
        QVERIFY(window->lastRun()->isFinished());
        QCOMPARE(window->lastRun()->count(StepResult::Outcome::Skipped), 1);
        QVERIFY(!workspace.session().setup().isMonitored(3));
    }
};

QTEST_MAIN(TestTestPlanWindow)
#include "tst_test_plan_window.moc"
