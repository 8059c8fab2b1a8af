#include "file_helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <qt_windows.h>

// vantrel-cli as a Windows console or script runs it: the vendor's DLL found by its usual name or named by
// VANTREL_D2XX_LIBRARY, output in UTF-8 with CR LF, paths with blanks and letters beyond ASCII, Ctrl+C ending a run as
// cleanly as SIGINT does on POSIX, and COM ports. The POSIX counterpart is tst_cli_process.
class TestCliWindows : public QObject
{
    Q_OBJECT

private:
    struct Result {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // A folder whose name has a blank and a letter beyond ASCII, as a user's profile folder may.
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/Zo\u00EB Smith XXXXXX")};
    QTemporaryDir m_logDir;

    static void shareOurConsole(QProcess &process)
    {
        // QProcess gives a child a console of its own when ours has no window; Ctrl+C must reach it through ours.
        process.setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *arguments) { arguments->flags &= ~DWORD(CREATE_NO_WINDOW); });
    }

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

    QProcessEnvironment fakeLibrary(const QString &library, const QString &received = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!library.isEmpty())
            environment.insert(QStringLiteral("VANTREL_D2XX_LIBRARY"), library);
        environment.insert(QStringLiteral("FAKE_D2XX_DEVICES"), QStringLiteral("FT0001,FT0002"));
        environment.insert(QStringLiteral("FAKE_D2XX_RECEIVED"), received);
        environment.insert(QStringLiteral("FAKE_D2XX_LOG_FILE"),
                           QDir::toNativeSeparators(m_logDir.filePath(QStringLiteral("calls.log"))));
        QFile::remove(m_logDir.filePath(QStringLiteral("calls.log")));
        return environment;
    }

    QList<QByteArray> calls() const
    {
        QList<QByteArray> lines = readFile(m_logDir.filePath(QStringLiteral("calls.log"))).trimmed().split('\n');
        for (QByteArray &line : lines)
            line = line.trimmed();
        return lines;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A console of our own to share with the runners, which ignores Ctrl+C for this process only.
        FreeConsole();
        QVERIFY(AllocConsole());
        SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    }

    void outputAndExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("list") << QStringList{"--demo", "list"} << 0 << QByteArray("DEMO0001\r\nDEMO0002\r\n")
                              << QByteArray();
        QTest::newRow("expectation met") << QStringList{"--demo",    "send", "--board",  "DEMO0002",
                                                        "--command", "id",   "--expect", "firmware"}
                                         << 0
                                         << QByteArray("Vantrel USB I/O board DEMO0002 (simulated) firmware 3.0\r\n")
                                         << QByteArray();
        QTest::newRow("usage") << QStringList{"--demo", "send", "--command", "id"} << 2 << QByteArray()
                               << QByteArray("vantrel-cli: send needs --board SERIAL\r\n"
                                             "Try 'vantrel-cli --help' for more.\r\n");
        QTest::newRow("no such board") << QStringList{"--demo", "send", "--board", "DEMO0009"} << 3 << QByteArray()
                                       << QByteArray("vantrel-cli: board DEMO0009 is not listed\r\n");
        QTest::newRow("lost") << QStringList{"--demo",    "send",   "--board",   "DEMO0001",
                                             "--command", "unplug", "--command", "id"}
                              << 4 << QByteArray() << QByteArray("vantrel-cli: board DEMO0001 was lost\r\n");
    }

    void outputAndExitCodes()
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

    // A script and a journal in a folder named with blanks and letters beyond ASCII, and the path said back in UTF-8.
    void pathsBeyondAscii()
    {
        const QString script = m_dir.filePath(QStringLiteral("caf\u00E9 script.txt"));
        writeFile(script, "id\r\n");
        const QString journal = m_dir.filePath(QStringLiteral("journal \u00E9t\u00E9"));
        Result result = run({"--demo", "send", "--board", "DEMO0002", "--script", QDir::toNativeSeparators(script),
                             "--expect", "firmware", "--journal", QDir::toNativeSeparators(journal)});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QVERIFY(!QDir(journal + QStringLiteral("/DEMO0002")).entryList({QStringLiteral("*.jsonl")}).isEmpty());

        const QString missing = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("no \u00FCber.txt")));
        result = run({"--demo", "send", "--board", "DEMO0002", "--script", missing});
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.startsWith(("vantrel-cli: --script: \"" + missing + "\" could not be read: ").toUtf8()),
                 result.err.constData());
    }

    // The vendor's DLL by its usual name from PATH, and by VANTREL_D2XX_LIBRARY from a folder beyond ASCII: the
    // exact calls, the bytes sent and the close.
    void theVendorLibrary_data()
    {
        QTest::addColumn<bool>("byName");
        QTest::newRow("FTD2XX.DLL on PATH") << true;
        QTest::newRow("VANTREL_D2XX_LIBRARY") << false;
    }

    void theVendorLibrary()
    {
        QFETCH(bool, byName);
        const QString folder = m_dir.filePath(byName ? QStringLiteral("vendor") : QStringLiteral("f\u00FCr tests"));
        QVERIFY(QDir().mkpath(folder));
        const QString library = folder + (byName ? QStringLiteral("/FTD2XX.DLL") : QStringLiteral("fake d2xx.dll"));
        QFile::remove(library);
        QVERIFY(QFile::copy(QStringLiteral(FAKE_D2XX), library));
        QProcessEnvironment environment =
            fakeLibrary(byName ? QString() : QDir::toNativeSeparators(library), QStringLiteral("pin 5 1\\r\\n"));
        if (byName)
            environment.insert(QStringLiteral("PATH"),
                               QDir::toNativeSeparators(folder) + u';' + environment.value(QStringLiteral("PATH")));

        const Result result =
            run({"--driver=d2xx", "monitor", "--board", "FT0002", "--pins", "5", "--seconds", "0.25"}, environment);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.endsWith(" pin 5 1\r\n"), result.out.constData());
        const QList<QByteArray> log = calls();
        QCOMPARE(log.mid(0, 5),
                 QList<QByteArray>({"FT_ListDevices(&count, null, 0x80000000)", "FT_ListDevices(0, buffer, 0x40000001)",
                                    "FT_ListDevices(1, buffer, 0x40000001)", "FT_ListDevices(1, buffer, 0x40000001)",
                                    "FT_W32_CreateFile(\"FT0002\", 0xc0000000, 0, null, 3, 0x81, null)"}));
        QCOMPARE(log[5], QByteArray("FT_W32_WriteFile(0x1001, [112 105 110 32 32 53 32 109 111 110 105 116 111 114 "
                                    "32 111 110 10], 18, &written, null)"));
        QCOMPARE(log[log.size() - 2], QByteArray("FT_W32_WriteFile(0x1001, [112 105 110 32 32 53 32 109 111 110 105 "
                                                 "116 111 114 32 111 102 102 10], 19, &written, null)"));
        QCOMPARE(log.last(), QByteArray("FT_W32_CloseHandle(0x1001)"));
        QCOMPARE(log.count("FT_W32_CloseHandle(0x1001)"), 1);
    }

    // Ctrl+C ends a run as SIGINT does: monitoring is switched off and the board closed; a plain monitor has done its
    // job (0), a command still waiting for its answer was cut short (130).
    void ctrlCEndsARunCleanly_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("monitor") << QStringList{"--driver=d2xx", "monitor", "--board", "FT0001", "--pins", "2"} << 0;
        QTest::newRow("send --expect") << QStringList{"--driver=d2xx", "send", "--board",  "FT0001",
                                                      "--command",     "id",   "--expect", "never",
                                                      "--timeout",     "20"}
                                       << 130;
    }

    void ctrlCEndsARunCleanly()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QProcess process;
        shareOurConsole(process);
        process.setProcessEnvironment(fakeLibrary(QDir::toNativeSeparators(QStringLiteral(FAKE_D2XX))));
        process.start(QStringLiteral(VANTREL_CLI), arguments);
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(calls().last().startsWith("FT_GetStatus"), 10'000);
        QVERIFY(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        QVERIFY(process.waitForFinished(10'000));
        QCOMPARE(process.exitCode(), exitCode);
        const QList<QByteArray> log = calls();
        if (arguments.contains(u"monitor"))
            QCOMPARE(log[log.size() - 2], QByteArray("FT_W32_WriteFile(0x1000, [112 105 110 32 32 50 32 109 111 110 "
                                                     "105 116 111 114 32 111 102 102 10], 19, &written, null)"));
        QCOMPARE(log.last(), QByteArray("FT_W32_CloseHandle(0x1000)"));
    }

    // COM ports: listed by name, opened at the chip's defaults, the exact bytes at the other end. scripts/windows
    // joins two COM ports of Wine through a pseudo-terminal pair and names them in VANTREL_TEST_COM_PAIR.
    void aComPort()
    {
        const QStringList pair = qEnvironmentVariable("VANTREL_TEST_COM_PAIR").split(u',', Qt::SkipEmptyParts);
        if (pair.size() != 2)
            QSKIP("no pair of joined COM ports (VANTREL_TEST_COM_PAIR=COM7,COM8)");
        QSerialPort board(pair[1]);
        QVERIFY2(board.open(QIODevice::ReadWrite), qPrintable(board.errorString()));
        Result result = run({"--driver=serial", "--port", pair[0], "list"});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.split('\n').contains(pair[0].toUtf8() + '\r'), result.out.constData());

        result = run(
            {"--driver=serial", "--port", pair[0], "send", "--board", pair[0], "--command", "led on", "--wait", "0"});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QByteArray received;
        QTRY_COMPARE_WITH_TIMEOUT((board.waitForReadyRead(50), received += board.readAll()), QByteArray("led on\r\n"),
                                  5000);
    }
};

QTEST_GUILESS_MAIN(TestCliWindows)
#include "tst_cli_windows.moc"
