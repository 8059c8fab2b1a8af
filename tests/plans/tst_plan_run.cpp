#include "../session/session_rig.h"
#include "plans/plan_reader.h"
#include "plans/plan_run.h"
#include "session/poller.h"

#include <QCoreApplication>
#include <QTest>

// The plan engine on the recording driver: the bytes each kind of step sends and their order, passing and
// failing on an injected clock, a lost board, a stop, and monitoring given back as it was.
class TestPlanRun : public QObject
{
    Q_OBJECT

    // A session with a board open, polled only when told (tick()).
    struct Rig : SessionRig {
        Rig() { selectAndForget(); }

        // `ms` later the board has sent `bytes`; the poll, then whatever the run does next.
        void tick(qint64 ms, const QByteArray &bytes = {})
        {
            now += ms;
            if (!bytes.isEmpty())
                driver.queue(bytes);
            session.poller().pollNow();
            QCoreApplication::processEvents();
        }

        std::unique_ptr<PlanRun> run(const QByteArray &toml)
        {
            auto read = readPlanText(toml, QStringLiteral("plan.toml"));
            if (auto *error = std::get_if<PlanError>(&read))
                qFatal("%s", qPrintable(error->text()));
            auto planRun = std::make_unique<PlanRun>(session, std::get<TestPlan>(std::move(read)));
            planRun->setPollInterval(std::chrono::hours(24));
            planRun->start();
            QCoreApplication::processEvents();
            return planRun;
        }

        QList<QByteArray> writes() const { return driver.writes(); }
    };

private Q_SLOTS:
    void everyKindOfStepPassingSendsExactlyThis()
    {
        Rig rig;
        const auto run = rig.run("[[step]]\nsend = 'id'\nexpect = 'firmware 3'\n"
                                 "[[step]]\nset_pin = 1\nlevel = 1\nexpect_pin = 10\nexpect_level = 1\n"
                                 "[[step]]\nadc = 8\nmin = 180\nmax = 220\nsamples = 2\nmean_min = 199\n"
                                 "[[step]]\nwait_ms = 50\n");
        QCOMPARE(rig.writes(), QList<QByteArray>{"id\r\n"});
        QCOMPARE(rig.seen.log.last(), QStringLiteral(">id"));
        rig.tick(10, "Vantrel board firmware 3.0\r\n");
        QCOMPARE(run->results()[0].outcome, StepResult::Outcome::Passed);
        QCOMPARE(run->results()[0].elapsedMs, 10);
        // Level first, then the direction, then the monitoring that brings the report.
        QCOMPARE(rig.writes().mid(1),
                 (QList<QByteArray>{"pin  1 set\r\n", "pin  1 output\r\n", "pin  10 monitor on\n"}));
        rig.tick(10, "pin 10 0\r\n");
        QCOMPARE(run->results()[1].outcome, StepResult::Outcome::Running); // not yet the level expected
        rig.tick(10, "pin 10 1\r\n");
        QCOMPARE(run->results()[1].outcome, StepResult::Outcome::Passed);
        QCOMPARE(run->results()[1].measured, QStringLiteral("pin 10 = 1"));
        QCOMPARE(rig.writes().mid(4), QList<QByteArray>{"adc  8\n"});
        rig.tick(10, "adc 8 198\r\n");
        rig.tick(10, "adc 8 202\r\n");
        QCOMPARE(run->results()[2].outcome, StepResult::Outcome::Passed);
        QCOMPARE(run->results()[2].samples, (std::vector<int>{198, 202}));
        QCOMPARE(run->results()[2].measured, QStringLiteral("min 198, mean 200.0, max 202 (2 readings)"));
        QCOMPARE(rig.writes().mid(5), QList<QByteArray>{"adc  8\n"}); // one request a poll
        rig.tick(49);
        QVERIFY(run->isRunning());
        rig.tick(1);
        QVERIFY(run->isFinished());
        // The monitoring the plan switched on goes off again; pin 1 stays the output it was made.
        QCOMPARE(rig.writes().mid(6), QList<QByteArray>{"pin  10 monitor off\n"});
        QVERIFY(!rig.session.setup().isMonitored(10));
        QVERIFY(rig.session.setup().isOutput(1));
        QVERIFY(run->passed());
        QCOMPARE(run->verdictLine(), QStringLiteral("PASS: 4 of 4 steps passed"));
    }

    void failuresSayWhatWasMeasured_data()
    {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<QList<QByteArray>>("answers"); // one a poll, 100 ms apart
        QTest::addColumn<QString>("measured");
        QTest::newRow("no line") << QByteArray("send = 'id'\nexpect = 'x'\ntimeout_ms = 200")
                                 << QList<QByteArray>{"", ""} << "no line within 200 ms";
        QTest::newRow("wrong line") << QByteArray("send = 'id'\nexpect = 'x'\ntimeout_ms = 200")
                                    << QList<QByteArray>{"abc\r\n", ""} << "last line \"abc\"";
        QTest::newRow("wrong level") << QByteArray("expect_pin = 12\nexpect_level = 1\ntimeout_ms = 200")
                                     << QList<QByteArray>{"pin 12 0\r\n", ""} << "pin 12 = 0";
        QTest::newRow("no report") << QByteArray("expect_pin = 12\nexpect_level = 0\ntimeout_ms = 200")
                                   << QList<QByteArray>{"", ""} << "no report of pin 12 within 200 ms";
        QTest::newRow("reading outside") << QByteArray("adc = 3\nmin = 10\nmax = 20\nsamples = 2")
                                         << QList<QByteArray>{"adc 3 15\r\n", "adc 3 21\r\n"}
                                         << "min 15, mean 18.0, max 21 (2 readings); 1 outside [10, 20]";
        QTest::newRow("mean outside") << QByteArray("adc = 3\nsamples = 2\nmean_max = 10")
                                      << QList<QByteArray>{"adc 3 9\r\n", "adc 3 12\r\n"}
                                      << "min 9, mean 10.5, max 12 (2 readings); mean outside its limits";
        QTest::newRow("too few readings") << QByteArray("adc = 3\nsamples = 3\ntimeout_ms = 200")
                                          << QList<QByteArray>{"adc 3 9\r\n", ""} << "1 of 3 readings within 200 ms";
    }

    void failuresSayWhatWasMeasured()
    {
        QFETCH(QByteArray, plan);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QString, measured);
        Rig rig;
        const auto run = rig.run("[[step]]\n" + plan + "\n[[step]]\nsend = 'next'\n");
        for (const QByteArray &answer : answers)
            rig.tick(100, answer);
        QCOMPARE(run->results()[0].outcome, StepResult::Outcome::Failed);
        QCOMPARE(run->results()[0].measured, measured);
        // A failed step does not end the run.
        QCOMPARE(run->results()[1].outcome, StepResult::Outcome::Passed);
        QCOMPARE(run->verdictLine(), QStringLiteral("FAIL: 1 of 2 steps passed (1 failed, 0 skipped)"));
    }

    void aLostBoardMakesTheRestErrors()
    {
        Rig rig;
        const auto run = rig.run("[[step]]\nsend = 'a'\n[[step]]\nsend = 'b'\nexpect = 'ok'\n[[step]]\nwait_ms = 5\n");
        rig.driver.failStatus = true;
        rig.tick(10);
        QVERIFY(run->isFinished());
        QVERIFY(run->boardLost());
        QCOMPARE(run->results()[0].outcome, StepResult::Outcome::Passed);
        QCOMPARE(run->results()[1].outcome, StepResult::Outcome::Error);
        QCOMPARE(run->results()[1].measured, QStringLiteral("the board was lost"));
        QCOMPARE(run->results()[2].outcome, StepResult::Outcome::Error);
        QCOMPARE(run->verdictLine(), QStringLiteral("FAIL: 1 of 3 steps passed (0 failed, 2 errors, 0 skipped)"));
    }

    void aBoardLostBetweenTwoStepsStillEndsTheRun()
    {
        Rig rig;
        auto read =
            readPlanText("[[step]]\nsend = 'unplug'\n[[step]]\nsend = 'id'\nexpect = 'x'\n", QStringLiteral("p.toml"));
        PlanRun run(rig.session, std::get<TestPlan>(std::move(read)));
        run.setPollInterval(std::chrono::hours(24));
        run.start(); // the first step has ended; the second begins from the event loop
        rig.driver.failStatus = true;
        rig.session.poller().pollNow(); // ... but a poll comes first and finds the board gone
        QCoreApplication::processEvents();
        QVERIFY(run.isFinished());
        QVERIFY(run.boardLost());
        QCOMPARE(run.results()[1].outcome, StepResult::Outcome::Error);
        QCOMPARE(rig.writes(), QList<QByteArray>{"unplug\r\n"});
    }

    void stopSkipsWhatHasNotEnded()
    {
        Rig rig;
        const auto run = rig.run("[[step]]\nexpect_pin = 4\nexpect_level = 1\n[[step]]\nwait_ms = 5\n");
        run->stop();
        QVERIFY(run->isFinished());
        QCOMPARE(run->count(StepResult::Outcome::Skipped), 2);
        QCOMPARE(rig.writes(), (QList<QByteArray>{"pin  4 monitor on\n", "pin  4 monitor off\n"}));
        rig.tick(10, "pin 4 1\r\n");
        QCOMPARE(run->count(StepResult::Outcome::Skipped), 2);
    }

    void monitoringTheOperatorSwitchedOnStaysOn()
    {
        Rig rig;
        rig.session.setPinMonitored(11, true);
        rig.forget();
        const auto run = rig.run("[[step]]\nexpect_pin = 11\nexpect_level = 0\n");
        // Switched on once more, the board reports the level it has now.
        QCOMPARE(rig.writes(), QList<QByteArray>{"pin  11 monitor on\n"});
        rig.tick(10, "pin 11 0\r\n");
        QVERIFY(run->passed());
        QCOMPARE(rig.writes().size(), 1);
        QVERIFY(rig.session.setup().isMonitored(11));
    }

    void noBoardOpenRunsNothing()
    {
        SessionRig rig;
        auto read = readPlanText("[[step]]\nsend = 'id'\n", QStringLiteral("p.toml"));
        PlanRun run(rig.session, std::get<TestPlan>(std::move(read)));
        run.setPollInterval(std::chrono::hours(24));
        run.start();
        QVERIFY(run.isFinished());
        QCOMPARE(run.results()[0].outcome, StepResult::Outcome::Error);
        QCOMPARE(rig.driver.count(DriverCall::Write), 0);
    }
};

QTEST_GUILESS_MAIN(TestPlanRun)
#include "tst_plan_run.moc"
