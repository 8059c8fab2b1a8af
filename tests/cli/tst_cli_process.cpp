#include "file_helpers.h"
#include "slow_reader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if __has_include(<pty.h>)
#include <pty.h>
#else
#include <util.h> // macOS
#endif

// vantrel-cli as a shell or a test bench runs it: exit codes, signals, a reader that goes away, and the exact
// calls into the vendor library and bytes on a serial port.
class TestCliProcess : public QObject
{
    Q_OBJECT

private:
    struct Result {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static Result run(const QStringList &arguments, const QProcessEnvironment &environment = {})
    {
        QProcess process;
        if (!environment.isEmpty())
            process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VANTREL_CLI), arguments);
        process.waitForFinished(20'000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    QTemporaryDir m_dir;

    QProcessEnvironment fakeLibrary(const QString &received = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VANTREL_D2XX_LIBRARY"), QStringLiteral(FAKE_D2XX));
        environment.insert(QStringLiteral("FAKE_D2XX_DEVICES"), QStringLiteral("FT0001,FT0002"));
        environment.insert(QStringLiteral("FAKE_D2XX_RECEIVED"), received);
        environment.insert(QStringLiteral("FAKE_D2XX_LOG_FILE"), m_dir.filePath(QStringLiteral("calls.log")));
        QFile::remove(m_dir.filePath(QStringLiteral("calls.log")));
        return environment;
    }

    QList<QByteArray> calls() const
    {
        QFile file(m_dir.filePath(QStringLiteral("calls.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().split('\n') : QList<QByteArray>();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The runner reads the window program's settings: never the user's in a test.
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    void exitCodesWithTheDemoBoards_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("list") << QStringList{"--demo", "list"} << 0 << QByteArray("DEMO0001\nDEMO0002\n")
                              << QByteArray();
        QTest::newRow("expectation met") << QStringList{"--demo",    "send", "--board",  "DEMO0002",
                                                        "--command", "id",   "--expect", "firmware"}
                                         << 0 << QByteArray("Vantrel USB I/O board DEMO0002 (simulated) firmware 3.0\n")
                                         << QByteArray();
        QTest::newRow("expectation not met")
            << QStringList{"--demo", "send",     "--board",  "DEMO0002",  "--command",
                           "led on", "--expect", "^led on$", "--timeout", "0.5"}
            << 1 << QByteArray("ok led on\n")
            << QByteArray("vantrel-cli: no received line matched \"^led on$\" within 0.5 s\n");
        QTest::newRow("usage") << QStringList{"--demo", "send", "--command", "id"} << 2 << QByteArray()
                               << QByteArray("vantrel-cli: send needs --board SERIAL\n"
                                             "Try 'vantrel-cli --help' for more.\n");
        QTest::newRow("no such board") << QStringList{"--demo", "send", "--board", "DEMO0009"} << 3 << QByteArray()
                                       << QByteArray("vantrel-cli: board DEMO0009 is not listed\n");
        QTest::newRow("lost") << QStringList{"--demo",    "send",   "--board",   "DEMO0001",
                                             "--command", "unplug", "--command", "id"}
                              << 4 << QByteArray() << QByteArray("vantrel-cli: board DEMO0001 was lost\n");
    }

    void exitCodesWithTheDemoBoards()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const Result result = run(arguments);
        QCOMPARE(result.err, err);
        QCOMPARE(result.out, out);
        QCOMPARE(result.exitCode, exitCode);
    }

    void sigtermEndsMonitoringCleanly()
    {
        QProcess process;
        process.start(QStringLiteral(VANTREL_CLI),
                      {"--demo", "monitor", "--board", "DEMO0001", "--adc", "1", "--format", "csv"});
        QVERIFY(process.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("adc,1,"), 5000);
        process.terminate(); // SIGTERM
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(out.startsWith("time,t_ms,board,kind,channel,pin,value,level,text\n"));
    }

    // Where the output goes, as a shell sets it up: the exit code of vantrel-cli itself, and what it said.
    void outputThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("list to /dev/full") << "'%1' --demo list > /dev/full" << 5;
        QTest::newRow("send's answer to /dev/full")
            << "'%1' --demo send --board DEMO0002 --command id > /dev/full" << 5;
        QTest::newRow("monitor over a file size limit")
            << "ulimit -f 1; '%1' --demo monitor --board DEMO0001 --adc 1-8 --seconds 3 > '%2/big.csv'" << 5;
        QTest::newRow("a reader that has seen enough")
            << "'%1' --demo monitor --board DEMO0002 --adc 1-8 | head -n 3 > /dev/null; exit ${PIPESTATUS[0]}" << 0;
    }

    void outputThatCannotBeWritten()
    {
        QFETCH(QString, shell);
        QFETCH(int, exitCode);
        QProcess bash;
        bash.start(QStringLiteral("/bin/bash"), {"-c", shell.arg(QStringLiteral(VANTREL_CLI), m_dir.path())});
        QVERIFY(bash.waitForFinished(20'000));
        QCOMPARE(bash.exitCode(), exitCode);
        const QByteArray err = bash.readAllStandardError();
        if (exitCode == 5) {
            QVERIFY2(err.startsWith("vantrel-cli: output could not be written: "), err.constData());
            QCOMPARE(err.count('\n'), 1);
        } else {
            QCOMPARE(err, QByteArray());
        }
    }

    void interruptedByASignal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        const QStringList send{"--demo", "send",     "--board", "DEMO0002",  "--command",
                               "id",     "--expect", "never",   "--timeout", "20"};
        const QStringList monitor{"--demo", "monitor", "--board", "DEMO0002", "--pins", "3"};
        QTest::newRow("send, SIGINT") << send << SIGINT << 130;
        QTest::newRow("send, SIGHUP") << send << SIGHUP << 143;
        QTest::newRow("monitor, SIGINT") << monitor << SIGINT << 0;
        QTest::newRow("monitor --expect, SIGTERM") << monitor + QStringList{"--expect", "never"} << SIGTERM << 1;
    }

    void interruptedByASignal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QProcess process;
        process.start(QStringLiteral(VANTREL_CLI), arguments);
        QVERIFY(process.waitForStarted());
        QTest::qWait(700);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
    }

    // A plan on the demo fixture with every kind of step; on DEMO0001 the loop and the supply are missing.
    QString fixturePlan(const QByteArray &extraSteps = {}) const
    {
        const QString path = m_dir.filePath(QStringLiteral("fixture.toml"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(
            "name = \"Fixture check\"\nboard = \"DEMO0002\"\n"
            "[[step]]\nname = \"Identity\"\nsend = \"id\"\nexpect = 'firmware 3\\.\\d'\n"
            "[[step]]\nname = \"Pin 9 drives pin 18\"\nset_pin = 9\nlevel = 1\nexpect_pin = 18\nexpect_level = 1\n"
            "timeout_ms = 300\n"
            "[[step]]\nname = \"Supply\"\nadc = 8\nmin = 190\nmax = 210\nsamples = 4\n"
            "[[step]]\nname = \"Settle\"\nwait_ms = 20\n" +
            extraSteps);
        return path;
    }

    void testPlansEndWithAVerdictAndAnExitCode_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("extraSteps");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("lastLine");
        QTest::newRow("fixture passes") << QStringList{} << QByteArray() << 0
                                        << QByteArray("PASS: 4 of 4 steps passed");
        QTest::newRow("no fixture on DEMO0001") << QStringList{"--board", "DEMO0001"} << QByteArray() << 1
                                                << QByteArray("FAIL: 2 of 4 steps passed (2 failed, 0 skipped)");
        QTest::newRow("plan error") << QStringList{} << QByteArray("[[step]]\nadc = 0\n") << 2 << QByteArray();
        QTest::newRow("board not listed") << QStringList{"--board", "NOPE"} << QByteArray() << 3 << QByteArray();
        QTest::newRow("board pulled out")
            << QStringList{} << QByteArray("[[step]]\nsend = \"unplug\"\n[[step]]\nsend = \"id\"\nexpect = \"x\"\n")
            << 4 << QByteArray("FAIL: 5 of 6 steps passed (0 failed, 1 errors, 0 skipped)");
    }

    void testPlansEndWithAVerdictAndAnExitCode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, extraSteps);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, lastLine);
        const Result result =
            run(QStringList{"--demo", "test", fixturePlan(extraSteps), "--poll-ms", "10"} + arguments);
        QCOMPARE(result.exitCode, exitCode);
        const QList<QByteArray> lines = result.out.trimmed().split('\n');
        if (lastLine.isEmpty()) {
            QVERIFY(result.out.isEmpty());
            return;
        }
        QCOMPARE(lines.last(), lastLine);
        // One line per step, in order, each with its result and what was measured against what was expected.
        QVERIFY2(lines.first().startsWith("PASS  Identity ("), lines.first());
        QVERIFY(lines.first().contains("; expected a line matching /firmware 3\\.\\d/"));
    }

    // Texts with % in them (a step's name, what was sent, what came back) come out as written everywhere.
    void textsWithPercentSignsStayAsWritten()
    {
        const QString junit = m_dir.filePath(QStringLiteral("percent.xml"));
        const QString html = m_dir.filePath(QStringLiteral("percent.html"));
        const Result result = run({"--demo", "test",
                                   fixturePlan("[[step]]\nname = \"A %2 B %3 C %4\"\nsend = \"%1 %% 100%\"\n"
                                               "expect = 'command: %1 %% 100%'\n"),
                                   "--poll-ms", "10", "--junit", junit, "--report", html});
        QCOMPARE(result.exitCode, 0);
        const QByteArray step = result.out.split('\n').value(4);
        QVERIFY2(step.startsWith("PASS  A %2 B %3 C %4 ("), step);
        QVERIFY2(step.contains("s): error unknown command: %1 %% 100%; expected a line matching /command: %1 %% 100%/ "
                               "within 2000 ms"),
                 step);
        for (const QString &report : {junit, html}) {
            QFile file(report);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            QVERIFY2(text.contains("A %2 B %3 C %4") && text.contains("error unknown command: %1 %% 100%"),
                     qPrintable(report));
        }
    }

    void aPlanErrorNamesItsPlace()
    {
        const Result result = run({"--demo", "test", fixturePlan("[[step]]\nset_pin = 19\nlevel = 1\n")});
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.contains("fixture.toml:24:1: step 5: \"set_pin\" is 19; it must be 1 to 18"), result.err);
    }

    void alarmsEndASoakWithTheirExitCode_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        // DEMO0002's channel 8 reads 50 (1.25 V as a 5 V supply) while pin 9 is not driven high.
        const QByteArray supply = "[calibration.8]\nscale = 0.025\nunit = \"V\"\nname = \"Supply\"\n\n"
                                  "[[alarm]]\nname = \"Supply low\"\nchannel = 8\nbelow = 4.75\nfor_ms = 300\n";
        QTest::newRow("critical raised") << supply + "severity = \"critical\"\n"
                                         << QStringList{"critical"} << 1
                                         << QByteArray("vantrel-cli: alarm \"Supply low\" (critical) was raised on "
                                                       "DEMO0002: Supply 1.");
        QTest::newRow("a warning is below critical") << supply + "severity = \"warning\"\n"
                                                     << QStringList{"critical"} << 0 << QByteArray();
        QTest::newRow("a warning at warning")
            << supply + "severity = \"warning\"\n"
            << QStringList{"warning"} << 1 << QByteArray("vantrel-cli: alarm \"Supply low\" (warning)");
        QTest::newRow("not raised") << QByteArray(supply).replace("below = 4.75", "below = 0.5") << QStringList{"info"}
                                    << 0 << QByteArray();
        QTest::newRow("rules file error") << supply + "severity = \"fatal\"\n"
                                          << QStringList{"info"} << 2
                                          << QByteArray("alarms.toml:11:1: alarm 1: \"severity\" must be info, "
                                                        "warning or critical");
        QTest::newRow("no such severity") << supply << QStringList{"grave"} << 2
                                          << QByteArray("--fail-on-alarm: \"grave\" is not info, warning or critical");
    }

    void alarmsEndASoakWithTheirExitCode()
    {
        QFETCH(QByteArray, rules);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        const QString file = m_dir.filePath(QStringLiteral("alarms.toml"));
        writeFile(file, rules);
        const Result result = run({"--demo", "monitor", "--board", "DEMO0002", "--adc", "8", "--format", "jsonl",
                                   "--seconds", "1.5", "--alarms", file, "--fail-on-alarm", arguments.first()});
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.contains(said), result.err);
        if (exitCode == 1) {
            QVERIFY2(
                result.out.contains("\"kind\":\"alarm_raised\",\"channel\":8,\"alarm\":\"Supply low\",\"severity\":"),
                result.out);
            QVERIFY2(result.out.contains("\"scaled\":1."), result.out);
        }
    }

    void planLimitsInUnits_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("judged in volts") << QStringList{"--alarms", "supply.toml"} << 0 << QByteArray("PASS  Supply (");
        QTest::newRow("no calibration") << QStringList() << 2
                                        << QByteArray("step 2: the limits are in V, but channel 8 reads in counts");
    }

    void planLimitsInUnits()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        writeFile(m_dir.filePath(QStringLiteral("supply.toml")), "[calibration.8]\nscale = 0.025\nunit = \"V\"\n");
        const QString plan = m_dir.filePath(QStringLiteral("units.toml"));
        writeFile(plan, "board = \"DEMO0002\"\n[[step]]\nset_pin = 9\nlevel = 1\n"
                        "[[step]]\nname = \"Supply\"\nadc = 8\nmin = 4.75\nmax = 5.25\nunit = \"V\"\nsamples = 3\n");
        for (QString &argument : arguments)
            argument = argument.endsWith(".toml") ? m_dir.filePath(argument) : argument;
        const Result result = run(QStringList{"--demo", "test", plan, "--poll-ms", "20"} + arguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2((result.out + result.err).contains(said), result.out + result.err);
        if (exitCode == 0)
            QVERIFY2(result.out.contains("expected 3 readings of channel 8 in [4.75 V, 5.25 V]"), result.out);
    }

    // The runner judges a plan and writes a rules file's records in the units the window program keeps for the
    // board (the file's own calibration goes over them); another board stays in counts.
    void theWindowProgramsCalibrationOfTheBoard()
    {
#ifdef Q_OS_WIN
        QSKIP("the window program's settings are in the registry there");
#endif
        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("Vantrel"));
        writeFile(home.filePath(QStringLiteral("Vantrel/Vantrel Control.conf")),
                  "[boards]\nDEMO0002\\channel8\\scale=0.025\nDEMO0002\\channel8\\unit=V\n"
                  "DEMO0002\\channel8\\decimals=2\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        const QString plan = m_dir.filePath(QStringLiteral("kept.toml"));
        writeFile(plan, "board = \"DEMO0002\"\n[[step]]\nset_pin = 9\nlevel = 1\n"
                        "[[step]]\nadc = 8\nmin = 4.75\nmax = 5.25\nunit = \"V\"\nsamples = 2\n");
        const Result judged = run({"--demo", "test", plan, "--poll-ms", "20"}, environment);
        QVERIFY2(judged.exitCode == 0, judged.out + judged.err);
        const QString rules = m_dir.filePath(QStringLiteral("rules-only.toml"));
        writeFile(rules, "[[alarm]]\nname = \"Supply low\"\nchannel = 8\nbelow = 0.5\n");
        for (const char *board : {"DEMO0002", "DEMO0001"}) {
            const Result monitored = run({"--demo", "monitor", "--board", board, "--adc", "8", "--format", "jsonl",
                                          "--seconds", "0.5", "--alarms", rules},
                                         environment);
            QCOMPARE(monitored.exitCode, 0);
            QCOMPARE(monitored.out.contains("\"unit\":\"V\""), QByteArrayView(board) == "DEMO0002");
        }
    }

    void reportsReadBack()
    {
        const QString junit = m_dir.filePath(QStringLiteral("report.xml"));
        const QString html = m_dir.filePath(QStringLiteral("report.html"));
        const QString plan = fixturePlan();
        const Result result =
            run({"--demo", "test", plan, "--board", "DEMO0001", "--poll-ms", "10", "--junit", junit, "--report", html});
        QCOMPARE(result.exitCode, 1);

        QFile xmlFile(junit);
        QVERIFY(xmlFile.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&xmlFile);
        QMap<QString, QString> suite;
        QMap<QString, QString> properties;
        QStringList cases;
        QStringList failures;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            if (xml.name() == u"testsuite") {
                for (const QXmlStreamAttribute &attribute : attributes)
                    suite.insert(attribute.name().toString(), attribute.value().toString());
            } else if (xml.name() == u"property") {
                properties.insert(attributes.value("name").toString(), attributes.value("value").toString());
            } else if (xml.name() == u"testcase") {
                cases.append(attributes.value("name").toString());
            } else if (xml.name() == u"failure") {
                failures.append(attributes.value("message").toString());
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(suite.value("name"), QStringLiteral("Fixture check"));
        QCOMPARE(suite.value("tests"), QStringLiteral("4"));
        QCOMPARE(suite.value("failures"), QStringLiteral("2"));
        QCOMPARE(suite.value("errors"), QStringLiteral("0"));
        QCOMPARE(suite.value("skipped"), QStringLiteral("0"));
        QVERIFY(suite.value("time").toDouble() > 0);
        QVERIFY(QDateTime::fromString(suite.value("timestamp"), Qt::ISODate).isValid());
        QVERIFY(!suite.value("hostname").isEmpty());
        QCOMPARE(properties.value("board"), QStringLiteral("DEMO0001"));
        QCOMPARE(properties.value("plan"), plan);
        QFile planFile(plan);
        QVERIFY(planFile.open(QIODevice::ReadOnly));
        QCOMPARE(properties.value("plan_sha256").toLatin1(),
                 QCryptographicHash::hash(planFile.readAll(), QCryptographicHash::Sha256).toHex());
        QCOMPARE(properties.value("version"), QStringLiteral("3.0.0"));
        QCOMPARE(cases, (QStringList{"Identity", "Pin 9 drives pin 18", "Supply", "Settle"}));
        QCOMPARE(failures.size(), 2);
        QVERIFY2(failures[0].startsWith("measured pin 18 = ") && failures[0].contains("; expected pin 18 = 1"),
                 qPrintable(failures[0]));
        QVERIFY2(failures[1].contains("outside [190, 210]"), qPrintable(failures[1]));

        QFile page(html);
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        QVERIFY(text.startsWith(QStringLiteral("<!DOCTYPE html>")));
        QVERIFY(!text.contains(QStringLiteral("src=")) && !text.contains(QStringLiteral("href=")));
        QVERIFY(text.contains(QStringLiteral("FAIL: 2 of 4 steps passed")));
        QVERIFY(text.contains(QStringLiteral("Supply: readings of channel 8")));
    }

    void anInterruptedPlanSkipsTheRestAndStillReports()
    {
        const QString junit = m_dir.filePath(QStringLiteral("interrupted.xml"));
        QProcess process;
        process.start(
            QStringLiteral(VANTREL_CLI),
            {"--demo", "test", fixturePlan("[[step]]\nwait_ms = 20000\n[[step]]\nsend = \"id\"\n"), "--junit", junit});
        QVERIFY(process.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("Settle"), 10000);
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 130);
        QFile report(junit);
        QVERIFY(report.open(QIODevice::ReadOnly));
        QVERIFY(report.readAll().contains("skipped=\"2\""));
    }

    void aScriptFromStandardInput()
    {
        for (const char *name : {"-", "/dev/stdin"}) {
            QProcess process;
            process.start(QStringLiteral(VANTREL_CLI),
                          {"--demo", "send", "--board", "DEMO0002", "--script", QString::fromLatin1(name)});
            QVERIFY(process.waitForStarted());
            process.write("led on\nid");
            process.closeWriteChannel();
            QVERIFY(process.waitForFinished(5000));
            QCOMPARE(process.exitCode(), 0);
            QCOMPARE(process.readAllStandardOutput(),
                     QByteArray("ok led on\nVantrel USB I/O board DEMO0002 (simulated) firmware 3.0\n"));
        }
    }

    void aReaderThatGoesAwayEndsTheRunCleanly()
    {
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {"-c", QStringLiteral("'%1' --demo monitor --board DEMO0002 --adc 1-8 | head -n 3; "
                                          "echo \"status $?\"")
                               .arg(QStringLiteral(VANTREL_CLI))});
        QVERIFY(shell.waitForFinished(10'000));
        const QList<QByteArray> lines = shell.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.last(), QByteArray("status 0"));
    }

    void vendorLibraryCallsInOrder()
    {
        const Result result = run({"--driver=d2xx", "monitor", "--board", "FT0002", "--pins", "5", "--seconds", "0.25"},
                                  fakeLibrary(QStringLiteral("pin 5 1\\r\\nhello\\r\\n")));
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QList<QByteArray> lines = result.out.split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith(" pin 5 1") && lines[1].endsWith(" line hello"));

        const QList<QByteArray> log = calls();
        QCOMPARE(log.mid(0, 5),
                 QList<QByteArray>({"FT_ListDevices(&count, null, 0x80000000)", "FT_ListDevices(0, buffer, 0x40000001)",
                                    "FT_ListDevices(1, buffer, 0x40000001)", "FT_ListDevices(1, buffer, 0x40000001)",
                                    "FT_W32_CreateFile(\"FT0002\", 0xc0000000, 0, null, 3, 0x81, null)"}));
        // "pin  5 monitor on" LF, then polls, then "pin  5 monitor off" LF, then the close.
        QCOMPARE(log[5], QByteArray("FT_W32_WriteFile(0x1001, [112 105 110 32 32 53 32 109 111 110 105 116 111 114 "
                                    "32 111 110 10], 18, &written, null)"));
        QVERIFY(log[6].startsWith("FT_GetStatus(0x1001"));
        QCOMPARE(log[log.size() - 2], QByteArray("FT_W32_WriteFile(0x1001, [112 105 110 32 32 53 32 109 111 110 105 "
                                                 "116 111 114 32 111 102 102 10], 19, &written, null)"));
        QCOMPARE(log.last(), QByteArray("FT_W32_CloseHandle(0x1001)"));
    }

    void twoBoardsAtOnceEachOnItsOwnHandle()
    {
        QProcessEnvironment environment = fakeLibrary();
        environment.insert(QStringLiteral("FAKE_D2XX_RECEIVED_0"), QStringLiteral("pin 5 1\\n"));
        environment.insert(QStringLiteral("FAKE_D2XX_RECEIVED_1"), QStringLiteral("pin 5 0\\nhello\\n"));
        const Result result = run({"--driver=d2xx", "monitor", "--board", "FT0002", "--board", "FT0001", "--pins", "5",
                                   "--seconds", "0.35", "--format", "jsonl"},
                                  environment);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        // Each record names its board, whichever board's poll brought it.
        QList<QByteArray> records;
        for (const QByteArray &line : result.out.trimmed().split('\n'))
            records.append(line.mid(line.indexOf("\"board\"")));
        std::sort(records.begin(), records.end());
        QCOMPARE(records, QList<QByteArray>({"\"board\":\"FT0001\",\"kind\":\"pin\",\"pin\":5,\"level\":1}",
                                             "\"board\":\"FT0002\",\"kind\":\"line\",\"text\":\"hello\"}",
                                             "\"board\":\"FT0002\",\"kind\":\"pin\",\"pin\":5,\"level\":0}"}));

        // Both opened before either is used, each told to report pin 5 and to stop, on its own handle.
        const QList<QByteArray> log = calls();
        const QByteArray on = "[112 105 110 32 32 53 32 109 111 110 105 116 111 114 32 111 110 10], 18";
        const QByteArray off = "[112 105 110 32 32 53 32 109 111 110 105 116 111 114 32 111 102 102 10], 19";
        QList<QByteArray> writes;
        QList<QByteArray> opens;
        for (const QByteArray &call : log) {
            if (call.startsWith("FT_W32_WriteFile"))
                writes.append(call.mid(17, call.indexOf(", &written") - 17));
            if (call.startsWith("FT_W32_CreateFile") || call.startsWith("FT_W32_CloseHandle"))
                opens.append(call.left(call.indexOf(',') > 0 ? call.indexOf(',') : call.size()));
        }
        QCOMPARE(writes, QList<QByteArray>({"0x1001, " + on, "0x1000, " + on, "0x1001, " + off, "0x1000, " + off}));
        QCOMPARE(opens, QList<QByteArray>({"FT_W32_CreateFile(\"FT0002\"", "FT_W32_CreateFile(\"FT0001\"",
                                           "FT_W32_CloseHandle(0x1001)", "FT_W32_CloseHandle(0x1000)"}));
        QVERIFY(log.contains("FT_W32_ReadFile(0x1000, buffer, 8, &read, null)"));
        QVERIFY(log.contains("FT_W32_ReadFile(0x1001, buffer, 14, &read, null)"));
    }

    void aMissingBoardAmongSeveralOpensNone()
    {
        const Result result = run(
            {"--driver=d2xx", "monitor", "--board", "FT0001", "--board", "FT0009", "--seconds", "1"}, fakeLibrary());
        QCOMPARE(result.exitCode, 3);
        QCOMPARE(result.err, QByteArray("vantrel-cli: board FT0009 is not listed\n"));
        for (const QByteArray &call : calls())
            QVERIFY2(!call.startsWith("FT_W32_CreateFile"), call.constData());
    }

    void vendorLibraryList()
    {
        const Result result = run({"--driver=d2xx", "list"}, fakeLibrary());
        QCOMPARE(result.out, QByteArray("FT0001\nFT0002\n"));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(calls(),
                 QList<QByteArray>({"FT_ListDevices(&count, null, 0x80000000)", "FT_ListDevices(0, buffer, 0x40000001)",
                                    "FT_ListDevices(1, buffer, 0x40000001)"}));
    }

    void vendorLibrarySend()
    {
        const Result result =
            run({"--driver=d2xx", "send", "--board", "FT0001", "--command", "id", "--wait", "0"}, fakeLibrary());
        QCOMPARE(result.exitCode, 0);
        const QList<QByteArray> log = calls();
        QCOMPARE(log.mid(log.size() - 2),
                 QList<QByteArray>(
                     {"FT_W32_WriteFile(0x1000, [105 100 13 10], 4, &written, null)", "FT_W32_CloseHandle(0x1000)"}));
    }

    // A script several times the terminal's own buffer, to a board that reads it slowly: every byte, in order,
    // and the run ends well, with the board closed only once everything is out.
    void aLongScriptOverASlowLink()
    {
        int far = -1;
        int near = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&far, &near, name, nullptr, nullptr), 0);
        ::fcntl(far, F_SETFD, FD_CLOEXEC);
        ::fcntl(near, F_SETFD, FD_CLOEXEC);
        termios raw{};
        ::tcgetattr(near, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(near, TCSANOW, &raw);
        const QString port = QString::fromLocal8Bit(name);
        QByteArray script;
        for (int line = 0; script.size() < 320 * 1024; ++line)
            script += "pin  " + QByteArray::number(line % 18 + 1) + " clear\r\n";
        const QString path = m_dir.filePath(QStringLiteral("long.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        SlowReader board(far, 4096, 40);
        const Result sent =
            run({"--driver=serial", "--port", port, "send", "--board", port.left(16), "--script", path, "--wait", "0"});
        QCOMPARE(sent.err, QByteArray());
        QCOMPARE(sent.exitCode, 0);
        QTRY_COMPARE(board.size(), script.size() + 2);
        QCOMPARE(board.bytes(), script + "\r\n");
        ::close(far);
        ::close(near);
    }

    // A monitor keeping a journal of a 100 KB/s stream, killed with SIGKILL after 10 s: every line that arrived
    // up to a second before the kill is in the journal, and the journal reads back.
    void aKilledRunLosesAtMostTheLastSecond()
    {
        int far = -1;
        int near = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&far, &near, name, nullptr, nullptr), 0);
        ::fcntl(far, F_SETFD, FD_CLOEXEC);
        ::fcntl(near, F_SETFD, FD_CLOEXEC);
        termios raw{};
        ::tcgetattr(near, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(near, TCSANOW, &raw);
        const QString port = QString::fromLocal8Bit(name);
        const QString folder = m_dir.filePath(QStringLiteral("journal"));
        QProcess monitor;
        monitor.setStandardOutputFile(QProcess::nullDevice());
        monitor.start(QStringLiteral(VANTREL_CLI),
                      {"--driver=serial", "--port", port, "monitor", "--board", port.left(16), "--journal", folder});
        QVERIFY(monitor.waitForStarted());
        QTest::qWait(300); // opened
        // Numbered lines, about 100 KB a second in bursts 10 ms apart; each line's time of writing is kept.
        std::vector<qint64> writtenAt;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10'000) {
            QByteArray burst;
            const qint64 due = clock.elapsed() * 100 / 12; // 12-byte lines at 100,000 bytes/s
            while (qint64(writtenAt.size()) < due) {
                burst += "line " + QByteArray::number(qlonglong(writtenAt.size())).rightJustified(6, '0') + '\n';
                writtenAt.push_back(clock.elapsed());
            }
            for (qsizetype at = 0; at < burst.size();) {
                const ssize_t n = ::write(far, burst.constData() + at, size_t(burst.size() - at));
                if (n > 0)
                    at += n;
                else
                    QTest::qWait(1);
            }
            QTest::qWait(10);
        }
        const qint64 killedAt = clock.elapsed();
        ::kill(pid_t(monitor.processId()), SIGKILL);
        QVERIFY(monitor.waitForFinished(5000));
        ::close(far);
        ::close(near);

        const QString boardFolder = folder + u'/' + port.left(16).replace(u'/', u'_');
        QStringList files = QDir(boardFolder).entryList({"*.jsonl"}, QDir::Files, QDir::Name);
        QVERIFY2(!files.isEmpty(), qPrintable(boardFolder));
        QSet<QByteArray> kept;
        for (const QString &file : files) {
            QFile in(boardFolder + u'/' + file);
            QVERIFY(in.open(QIODevice::ReadOnly));
            // As records of their own or in a moment's events: "line 000123".
            const QByteArray text = in.readAll();
            for (qsizetype at = text.indexOf("\"line 0"); at >= 0; at = text.indexOf("\"line 0", at + 1))
                kept.insert(text.mid(at + 1, 11));
        }
        qsizetype due = 0;
        for (qsizetype i = 0; i < qsizetype(writtenAt.size()) && writtenAt[std::size_t(i)] < killedAt - 1000; ++i) {
            ++due;
            const QByteArray text = "line " + QByteArray::number(qlonglong(i)).rightJustified(6, '0');
            QVERIFY2(kept.contains(text), text.constData());
        }
        QVERIFY(due > 70'000);
        // And it reads back.
        const Result read =
            run({"journal", "--dir", folder, "--board", port.left(16), "--kind", "line", "--format", "jsonl"});
        QCOMPARE(read.exitCode, 0);
        QVERIFY(read.out.count('\n') >= due);
    }

    void serialPortOverAPseudoTerminal()
    {
        int far = -1;
        int near = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&far, &near, name, nullptr, nullptr), 0);
        // The program must not inherit the board's end, or closing it here would not pull the board out.
        ::fcntl(far, F_SETFD, FD_CLOEXEC);
        ::fcntl(near, F_SETFD, FD_CLOEXEC);
        const QString port = QString::fromLocal8Bit(name);
        termios raw{};
        ::tcgetattr(near, &raw);
        ::cfmakeraw(&raw); // no echo of what the board sends before the port is opened
        ::tcsetattr(near, TCSANOW, &raw);
        QCOMPARE(::write(far, "ready\r\n", 7), ssize_t(7));
        const Result sent = run({"--driver=serial", "--port", port, "send", "--board", port.left(16), "--command", "id",
                                 "--expect", "^ready$", "--timeout", "3"});
        QCOMPARE(sent.err, QByteArray());
        QCOMPARE(sent.exitCode, 0);
        QCOMPARE(sent.out, QByteArray("ready\n"));
        ::fcntl(far, F_SETFL, ::fcntl(far, F_GETFL) | O_NONBLOCK);
        QByteArray bytes(64, '\0');
        const ssize_t n = ::read(far, bytes.data(), bytes.size());
        QCOMPARE(bytes.left(int(n)), QByteArray("id\r\n"));

        // The far end going away while monitoring is a lost board.
        QProcess monitor;
        monitor.start(QStringLiteral(VANTREL_CLI),
                      {"--driver=serial", "--port", port, "monitor", "--board", port.left(16), "--adc", "1"});
        QVERIFY(monitor.waitForStarted());
        ssize_t requests = 0;
        for (int i = 0; i < 50 && requests <= 0; ++i) {
            QTest::qWait(100);
            requests = ::read(far, bytes.data(), bytes.size());
        }
        QCOMPARE(bytes.left(7), QByteArray("adc  1\n"));
        ::close(far);
        QVERIFY(monitor.waitForFinished(5000));
        QCOMPARE(monitor.exitCode(), 4);
        QCOMPARE(monitor.readAllStandardError(),
                 QByteArray("vantrel-cli: board ") + port.left(16).toLocal8Bit() + " was lost\n");
        ::close(near);
    }
};

QTEST_GUILESS_MAIN(TestCliProcess)
#include "tst_cli_process.moc"
