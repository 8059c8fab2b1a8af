#include "fake_workspace.h"
#include "file_helpers.h"
#include "plans/plan_run.h"
#include "windows/test_plan/form_test_plan.h"

#include <QAccessible>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
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
        // Its start as the records give times: with the offset from UTC.
        QVERIFY(
            QRegularExpression(QStringLiteral("<dt>Started</dt><dd>\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}"
                                              "[+-]\\d\\d:\\d\\d</dd>"))
                .match(QString::fromUtf8(readFile(workspace.path(QStringLiteral("report.html")))))
                .hasMatch());
    }

    // Assistive technology reads each column's header; each column is as wide as its text at the window's size.
    void theStepTableReadsWhole()
    {
        FakeWorkspace workspace({"DEMO0002"});
        formTestPlan *window =
            openPlan(workspace, "[[step]]\nname = 'Supply'\nadc = 8\nmin = 180\nmax = 220\nsamples = 10\n");
        QTableWidget *table = window->table();
        QStringList headers;
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(table);
        for (int i = 0; i < accessible->childCount(); ++i) {
            QAccessibleInterface *child = accessible->child(i);
            if (child && child->role() == QAccessible::ColumnHeader)
                headers.append(child->text(QAccessible::Name));
        }
        QCOMPARE(headers, QStringList({"Step", "Expected", "Measured", "Result", "Time"}));
        const QString expected = table->item(0, formTestPlan::ExpectedColumn)->text();
        QVERIFY(table->columnWidth(formTestPlan::ExpectedColumn) > table->fontMetrics().horizontalAdvance(expected));
        QCOMPARE(table->item(0, formTestPlan::ExpectedColumn)->toolTip(), expected);
    }

    // A run refused for the board leaves the last run's results, verdict and report as they were.
    void aRefusedRunLeavesTheLastRun()
    {
        FakeWorkspace workspace({"DEMO0002"});
        workspace.host().select(0);
        formTestPlan *window = openPlan(workspace, "board = 'DEMO0002'\n[[step]]\nname = 'Settle'\nwait_ms = 10\n");
        window->run();
        QTRY_COMPARE(window->verdict()->text(), QStringLiteral("PASS"));
        writeFile(workspace.path(QStringLiteral("p.toml")),
                  "board = 'DEMO0009'\n[[step]]\nname = 'Other'\nwait_ms = 1\n");
        window->run();
        QCOMPARE(window->message(), QStringLiteral("This plan is for board DEMO0009; the board open is DEMO0002."));
        QCOMPARE(window->verdict()->text(), QStringLiteral("PASS"));
        QCOMPARE(window->table()->item(0, formTestPlan::StepColumn)->text(), QStringLiteral("Settle"));
        QCOMPARE(window->table()->item(0, formTestPlan::ResultColumn)->text(), QStringLiteral("PASS"));
        QVERIFY(window->findChild<QPushButton *>(QStringLiteral("saveReport"))->isEnabled());
        QVERIFY(window->saveReport(workspace.path(QStringLiteral("r.xml"))));
    }

    void theBoardMessageFollowsTheSelection_data()
    {
        QTest::addColumn<QByteArray>("board");  // the plan's
        QTest::addColumn<int>("selectedFirst"); // -1 for none
        QTest::addColumn<int>("selectedThen");
        QTest::addColumn<QString>("message");
        QTest::newRow("a board is chosen") << QByteArray() << -1 << 0 << QString();
        QTest::newRow("the plan's board is chosen") << QByteArray("DEMO0009") << 0 << 1 << QString();
        QTest::newRow("another wrong board")
            << QByteArray("DEMO0009") << -1 << 0 << "This plan is for board DEMO0009; the board open is DEMO0002.";
    }

    void theBoardMessageFollowsTheSelection()
    {
        QFETCH(QByteArray, board);
        QFETCH(int, selectedFirst);
        QFETCH(int, selectedThen);
        QFETCH(QString, message);
        FakeWorkspace workspace({"DEMO0002", "DEMO0009"});
        if (selectedFirst >= 0)
            workspace.host().select(selectedFirst);
        const QByteArray boardLine = board.isEmpty() ? QByteArray() : "board = '" + board + "'\n";
        formTestPlan *window = openPlan(workspace, boardLine + "[[step]]\nwait_ms = 1\n");
        window->run();
        QVERIFY(!window->message().isEmpty());
        workspace.host().select(selectedThen);
        QCOMPARE(window->message(), message);
        QVERIFY(!window->isRunning());
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
