#include "cli/cli_runner.h"
#include "device/demo_driver.h"
#include "recording_driver.h"
#include "replay/replay_driver.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>

// The headless runner on the recording driver: what it writes to the board and in which order, what it prints,
// and its exit codes.
class TestCliRunner : public QObject
{
    Q_OBJECT

private:
    // One run with its own state and captured output.
    struct Run {
        explicit Run(const QStringList &arguments)
        {
            const ParsedCliOptions parsed = parseCliOptions(QStringList{"vantrel-cli"} + arguments);
            if (parsed.exitCode)
                qFatal("bad arguments: %s", qPrintable(parsed.error));
            options = parsed.options;
            driver.serials = {QStringLiteral("A1B2"), QStringLiteral("C3D4")};
            out = std::tmpfile();
            err = std::tmpfile();
        }
        ~Run()
        {
            std::fclose(out);
            std::fclose(err);
        }
        int run()
        {
            CliRunner runner(driver, options, out, err);
            current = &runner;
            const int code = runner.run();
            current = nullptr;
            return code;
        }
        static QByteArray contents(std::FILE *file)
        {
            std::fflush(file);
            std::rewind(file);
            QByteArray bytes;
            char chunk[4096];
            while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, file))
                bytes.append(chunk, qsizetype(n));
            return bytes;
        }
        QByteArray output() const { return contents(out); }
        QByteArray errors() const { return contents(err); }
        // The output's lines without their times.
        QList<QByteArray> records() const
        {
            QList<QByteArray> result;
            for (const QByteArray &line : output().split('\n')) {
                if (!line.isEmpty())
                    result.append(line.mid(line.indexOf(line.startsWith('{') ? ',' : ' ') + 1));
            }
            return result;
        }

        CliOptions options;
        RecordingDriver driver;
        std::FILE *out = nullptr;
        std::FILE *err = nullptr;
        CliRunner *current = nullptr;
    };

    static QList<DriverCall::Kind> kinds(const RecordingDriver &driver)
    {
        QList<DriverCall::Kind> result;
        for (const DriverCall &call : driver.calls)
            result.append(call.kind);
        return result;
    }

private Q_SLOTS:
    void aReplaysRecordsAreThoseOfTheLiveRunThatMadeTheJournal()
    {
        // The demo board monitored live with a journal kept, then that journal monitored as fast as it goes.
        QTemporaryDir journal;
        const QStringList what{"monitor", "--board", "DEMO0002", "--adc", "1,2,8", "--pins", "5,14", "--format", "csv"};
        const auto runOn = [](Driver &driver, const QStringList &arguments, QByteArray *errors = nullptr) {
            const ParsedCliOptions parsed = parseCliOptions(QStringList{"vantrel-cli"} + arguments);
            if (parsed.exitCode)
                qFatal("bad arguments: %s", qPrintable(parsed.error));
            std::FILE *out = std::tmpfile();
            std::FILE *err = std::tmpfile();
            const int code = CliRunner(driver, parsed.options, out, err).run();
            const QByteArray output = Run::contents(out);
            if (errors)
                *errors = Run::contents(err);
            std::fclose(out);
            std::fclose(err);
            return std::pair{code, output};
        };
        DemoDriver demo;
        const auto [liveCode, live] = runOn(demo, what + QStringList{"--seconds", "1.5", "--journal", journal.path()});
        QCOMPARE(liveCode, kExitOk);
        const QString folder = journal.path();
        const ParsedCliOptions replayed =
            parseCliOptions(QStringList{"vantrel-cli", "--driver=replay", "--journal", folder} + what);
        QVERIFY2(!replayed.exitCode, qPrintable(replayed.error));
        QCOMPARE(replayed.options.replay.speed, ReplayDriver::kFastest);
        ReplayDriver replay(replayed.options.replay);
        QByteArray errors;
        const auto [replayCode, played] =
            runOn(replay, QStringList{"--driver=replay", "--journal", folder} + what, &errors);
        QCOMPARE(replayCode, kExitOk);
        QCOMPARE(errors, QByteArray());
        // Row by row the same, the time of day too; t_ms counts from another origin.
        const QList<QByteArray> liveRows = live.trimmed().split('\n');
        const QList<QByteArray> playedRows = played.trimmed().split('\n');
        QVERIFY(liveRows.size() > 20);
        QCOMPARE(playedRows.size(), liveRows.size());
        QCOMPARE(playedRows.front(), liveRows.front());
        std::optional<qint64> shift;
        for (qsizetype i = 1; i < liveRows.size(); ++i) {
            QList<QByteArray> a = liveRows[i].split(',');
            QList<QByteArray> b = playedRows[i].split(',');
            const qint64 difference = b[1].toLongLong() - a[1].toLongLong();
            QCOMPARE(difference, shift.value_or(difference));
            shift = difference;
            a.removeAt(1);
            b.removeAt(1);
            QCOMPARE(b, a);
        }
    }
    void listPrintsTheBoardsInDriverOrder()
    {
        Run run({"--demo", "list"});
        QCOMPARE(run.run(), kExitOk);
        QCOMPARE(run.output(), QByteArray("A1B2\nC3D4\n"));
        run.driver.serials.clear();
        Run none({"list"});
        none.driver.serials.clear();
        QCOMPARE(none.run(), kExitNoBoard);
        QCOMPARE(none.output(), QByteArray());
        QCOMPARE(none.errors(), QByteArray("vantrel-cli: no boards found\n"));
    }

    void sendGoesOutInCommandLineOrderAndClosesTheBoard()
    {
        QTemporaryFile script;
        QVERIFY(script.open());
        script.write("pin  3 output\r\npin  3 set");
        script.close();
        // --wait 0: nothing is waited for after the last command.
        Run run({"send", "--board", "C3D4", "--command", "id", "--script", script.fileName(), "--command", "", "--wait",
                 "0"});
        QCOMPARE(run.run(), kExitOk);
        QCOMPARE(run.driver.writes(), QList<QByteArray>({"id\r\n", "pin  3 output\r\npin  3 set\r\n", "\r\n"}));
        // Listed, chosen as a selection chooses (the driver asked again), opened, written to, closed.
        QCOMPARE(kinds(run.driver), QList<DriverCall::Kind>({DriverCall::Count, DriverCall::Serial, DriverCall::Serial,
                                                             DriverCall::Serial, DriverCall::Create, DriverCall::Write,
                                                             DriverCall::Write, DriverCall::Write, DriverCall::Close}));
        QCOMPARE(run.driver.calls[3].position, 1);
        QCOMPARE(run.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(run.output(), QByteArray());
    }

    void boardsThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("board");
        QTest::addColumn<bool>("unopenable");
        QTest::addColumn<bool>("failWrite");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("not listed") << "ZZ99" << false << false << kExitNoBoard
                                    << QByteArray("vantrel-cli: board ZZ99 is not listed\n");
        QTest::newRow("not opened") << "A1B2" << true << false << kExitNoBoard
                                    << QByteArray("vantrel-cli: board A1B2 could not be opened\n");
        QTest::newRow("lost") << "A1B2" << false << true << kExitLost
                              << QByteArray("vantrel-cli: board A1B2 was lost\n");
    }

    void boardsThatCannotBeUsed()
    {
        QFETCH(QString, board);
        QFETCH(bool, unopenable);
        QFETCH(bool, failWrite);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        Run run({"send", "--board", board, "--command", "id", "--command", "reset"});
        if (unopenable)
            run.driver.unopenable = {board};
        run.driver.failWrite = failWrite;
        QCOMPARE(run.run(), exitCode);
        QCOMPARE(run.errors(), error);
        QVERIFY(run.driver.writes().size() <= 1); // nothing after a loss
        if (exitCode == kExitLost)
            QCOMPARE(run.driver.closes(), QList<std::intptr_t>{100});
    }

    void sendWaitsForTheExpectedLine()
    {
        Run run({"send", "--board", "A1B2", "--command", "id", "--expect", "^Vantrel .* firmware (\\d+)", "--timeout",
                 "2"});
        run.driver.queue("ok\r\nVantrel USB I/O board A1B2 firmware 3\r\nafter\r\n");
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(run.run(), kExitOk);
        QVERIFY(timer.elapsed() < 1000);
        // Every line the board answered, up to the one expected.
        QCOMPARE(run.output(), QByteArray("ok\nVantrel USB I/O board A1B2 firmware 3\n"));
        QCOMPARE(run.driver.count(DriverCall::Close), 1);

        // Without an expectation, what comes within the wait.
        Run answered({"send", "--board", "A1B2", "--command", "id"});
        answered.driver.queue("Vantrel USB I/O board A1B2 firmware 3\r\n");
        QCOMPARE(answered.run(), kExitOk);
        QCOMPARE(answered.output(), QByteArray("Vantrel USB I/O board A1B2 firmware 3\n"));

        Run late({"send", "--board", "A1B2", "--command", "id", "--expect", "never", "--timeout", "0.3"});
        QCOMPARE(late.run(), kExitNotMet);
        QCOMPARE(late.errors(), QByteArray("vantrel-cli: no received line matched \"never\" within 0.3 s\n"));
        QCOMPARE(late.driver.count(DriverCall::Close), 1);
    }

    void monitorRecordsSwitchesMonitoringAndRequestsChannels()
    {
        Run run({"monitor", "--board", "A1B2", "--adc", "3,1", "--pins", "7,5", "--seconds", "0.35"});
        run.driver.queue("pin 5 1\r\nadc 1 137\r\nadc 3 400\r\npin 6 1\r\nadc 2 9\r\nhello, \"board\"\r\n");
        QCOMPARE(run.run(), kExitOk);
        const QList<QByteArray> writes = run.driver.writes();
        QCOMPARE(writes.first(), QByteArray("pin  5 monitor on\n"));
        QCOMPARE(writes[1], QByteArray("pin  7 monitor on\n"));
        QCOMPARE(writes[2], QByteArray("adc  1\nadc  3\n"));
        QVERIFY(writes.size() >= 5); // a request each poll
        QCOMPARE(writes.mid(writes.size() - 2), QList<QByteArray>({"pin  5 monitor off\n", "pin  7 monitor off\n"}));
        QCOMPARE(run.driver.calls.back().kind, DriverCall::Close);
        QCOMPARE(run.records(), QList<QByteArray>({"pin 5 1", "adc 1 137", "adc 3 400", "line pin 6 1", "line adc 2 9",
                                                   "line hello, \"board\""}));
    }

    void recordFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("csv") << "csv"
                             << QList<QByteArray>{"time,t_ms,board,kind,channel,pin,value,level,text",
                                                  "A1B2,adc,2,,137,,", "A1B2,pin,,5,,1,",
                                                  QByteArray("A1B2,line,,,,,\"hello, \"\"board\"\"\t\0\"", 34)};
        QTest::newRow("jsonl") << "jsonl"
                               << QList<QByteArray>{"\"board\":\"A1B2\",\"kind\":\"adc\",\"channel\":2,\"value\":137}",
                                                    "\"board\":\"A1B2\",\"kind\":\"pin\",\"pin\":5,\"level\":1}",
                                                    "\"board\":\"A1B2\",\"kind\":\"line\",\"text\":\"hello, "
                                                    "\\\"board\\\"\\u0009\\u0000\"}"};
    }

    void recordFormats()
    {
        QFETCH(QString, format);
        QFETCH(QList<QByteArray>, lines);
        Run run({"monitor", "--board", "A1B2", "--adc", "2", "--pins", "5", "--seconds", "0.15", "--format", format});
        run.driver.queue(QByteArray("adc 2 137\npin 5 1\nhello, \"board\"\t\0\n", 35));
        QCOMPARE(run.run(), kExitOk);
        const QList<QByteArray> output = run.output().split('\n');
        if (format == u"csv") {
            QCOMPARE(output.first(), lines.first());
            lines.removeFirst();
        }
        const QList<QByteArray> records = format == u"csv" ? output.mid(1, 3) : output.mid(0, 3);
        QCOMPARE(records.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            // Every record starts with the local time and the milliseconds since the run began.
            const QByteArray time = records[i].mid(format == u"csv" ? 0 : 9, 29);
            QVERIFY2(QDateTime::fromString(QString::fromLatin1(time), Qt::ISODateWithMs).isValid(), time.constData());
            if (format == u"jsonl")
                QVERIFY2(records[i].contains("\",\"t_ms\":"), records[i].constData());
            QVERIFY2(records[i].endsWith(lines[i]), records[i].constData());
        }
    }

    void monitorExpectationAndStop()
    {
        Run matched({"monitor", "--board", "A1B2", "--expect", "ready", "--timeout", "2", "--pins", "1"});
        matched.driver.queue("boot\r\nready\r\n");
        QCOMPARE(matched.run(), kExitOk);
        QCOMPARE(matched.records(), QList<QByteArray>({"line boot", "line ready", "match ready"}));
        QCOMPARE(matched.driver.writes().last(), QByteArray("pin  1 monitor off\n"));

        Run stopped({"monitor", "--board", "A1B2", "--pins", "2"});
        QTimer::singleShot(250, [&stopped] { stopped.current->requestStop(); });
        QCOMPARE(stopped.run(), kExitOk);
        QCOMPARE(stopped.driver.writes().last(), QByteArray("pin  2 monitor off\n"));
        QCOMPARE(stopped.driver.calls.back().kind, DriverCall::Close);
    }

    void outputThatCannotBeWrittenEndsTheRunWithFive()
    {
        Run run({"monitor", "--board", "A1B2", "--pins", "4", "--adc", "1"});
        std::fclose(run.out);
        run.out = std::fopen("/dev/full", "w");
        if (!run.out)
            QSKIP("no /dev/full here");
        run.driver.queue("adc 1 5\n");
        QCOMPARE(run.run(), kExitOutput);
        QVERIFY(run.errors().startsWith("vantrel-cli: output could not be written: "));
        QCOMPARE(run.errors().count('\n'), 1);
        QCOMPARE(run.driver.writes().last(), QByteArray("pin  4 monitor off\n"));
        QCOMPARE(run.driver.calls.back().kind, DriverCall::Close);
    }

    // Interrupted: a plain monitor is done (Ctrl+C is how it stops); an expectation not met is not met; anything
    // else was cut short. Monitoring goes off and the board is closed every time.
    void interruptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        const QStringList monitor{"monitor", "--board", "A1B2", "--pins", "2"};
        const QStringList send{"send", "--board", "A1B2", "--command", "id", "--expect", "never", "--timeout", "5"};
        QTest::newRow("monitor, SIGINT") << monitor << SIGINT << kExitOk;
        QTest::newRow("monitor, SIGTERM") << monitor << SIGTERM << kExitOk;
        QTest::newRow("monitor --expect, SIGINT")
            << monitor + QStringList{"--expect", "never"} << SIGINT << kExitNotMet;
        QTest::newRow("send, SIGINT") << send << SIGINT << kExitInterrupted;
        QTest::newRow("send, SIGTERM") << send << SIGTERM << kExitTerminated;
#ifdef SIGHUP
        QTest::newRow("send, SIGHUP") << send << SIGHUP << kExitTerminated;
#endif
    }

    void interruptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        Run run(arguments);
        QTimer::singleShot(200, [&run, signal] { run.current->requestStop(signal); });
        QCOMPARE(run.run(), exitCode);
        if (arguments.first() == u"monitor")
            QCOMPARE(run.driver.writes().last(), QByteArray("pin  2 monitor off\n"));
        QCOMPARE(run.driver.calls.back().kind, DriverCall::Close);
    }

    void aLostBoardEndsMonitoringOrIsWaitedFor()
    {
        Run lost({"monitor", "--board", "A1B2", "--adc", "1"});
        QTimer::singleShot(150, [&lost] { lost.driver.failStatus = true; });
        QCOMPARE(lost.run(), kExitLost);
        QCOMPARE(lost.errors(), QByteArray("vantrel-cli: board A1B2 was lost\n"));

        Run waiting({"monitor", "--board", "A1B2", "--pins", "3", "--seconds", "2", "--reconnect"});
        QTimer::singleShot(150, [&waiting] { waiting.driver.failStatus = true; });
        QTimer::singleShot(400, [&waiting] { waiting.driver.failStatus = false; });
        QCOMPARE(waiting.run(), kExitOk);
        // Monitoring switched on again on the new handle, and off at the end.
        QCOMPARE(waiting.driver.writes().count("pin  3 monitor on\n"), 2);
        QCOMPARE(waiting.driver.calls.back().handle, std::intptr_t(101));
        QCOMPARE(waiting.driver.writes().last(), QByteArray("pin  3 monitor off\n"));
    }

    // send --reconnect says when the board went and when it came back, in the format asked for.
    void sendSaysALossAndAReturn_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("lost");
        QTest::addColumn<QByteArray>("back");
        QTest::newRow("text") << "text" << QByteArray("\nlost A1B2\n") << QByteArray("\nback A1B2\n");
        QTest::newRow("csv") << "csv" << QByteArray(",A1B2,lost,,,,,\n") << QByteArray(",A1B2,back,,,,,\n");
        QTest::newRow("jsonl") << "jsonl" << QByteArray("\"board\":\"A1B2\",\"kind\":\"lost\"}")
                               << QByteArray("\"board\":\"A1B2\",\"kind\":\"back\"}");
    }

    void sendSaysALossAndAReturn()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, lost);
        QFETCH(QByteArray, back);
        Run run({"send", "--board", "A1B2", "--command", "id", "--wait", "1500", "--reconnect", "--format", format});
        run.driver.queue("firmware 3\r\n");
        QTimer::singleShot(150, [&run] { run.driver.failStatus = true; });
        QTimer::singleShot(300, [&run] { run.driver.failStatus = false; });
        QCOMPARE(run.run(), kExitOk);
        const QByteArray output = run.output();
        QVERIFY2(output.contains(lost) && output.contains(back), output.constData());
        QVERIFY(output.indexOf(lost) < output.indexOf(back));
        QVERIFY(output.contains("firmware 3"));
    }
};

QTEST_GUILESS_MAIN(TestCliRunner)
#include "tst_cli_runner.moc"
