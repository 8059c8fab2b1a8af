#include "cli/cli_options.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryFile>
#include <QTest>

// vantrel-cli's command line: commands, their options, the order of what send sends, and the usage errors.
class TestCliOptions : public QObject
{
    Q_OBJECT

private:
    static ParsedCliOptions parse(const QStringList &arguments)
    {
        return parseCliOptions(QStringList{"vantrel-cli"} + arguments);
    }

private Q_SLOTS:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("3.0.0")); }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{}
                                    << "no command given: use list, send, monitor, journal, test or serve";
        QTest::newRow("unknown command") << QStringList{"frob"} << "unknown command \"frob\"";
        QTest::newRow("two commands") << QStringList{"list", "send"} << "unexpected argument: send";
        QTest::newRow("send without board") << QStringList{"send", "--command", "id"} << "send needs --board SERIAL";
        QTest::newRow("option of another command")
            << QStringList{"send", "--board", "A", "--adc", "1"} << "--adc does not go with send";
        QTest::newRow("list takes no board") << QStringList{"list", "--board", "A"} << "--board does not go with list";
        QTest::newRow("channel 9") << QStringList{"monitor", "--board", "A", "--adc", "1,9"}
                                   << "--adc: \"1,9\" is not a list of channels 1 to 8";
        QTest::newRow("pin range backwards") << QStringList{"monitor", "--board", "A", "--pins", "9-3"}
                                             << "--pins: \"9-3\" is not a list of pins 1 to 18";
        QTest::newRow("bad seconds") << QStringList{"monitor", "--board", "A", "--seconds", "-1"}
                                     << "--seconds: \"-1\" is not a positive number of seconds";
        QTest::newRow("bad timeout") << QStringList{"send", "--board", "A", "--timeout", "soon"}
                                     << "--timeout: \"soon\" is not a positive number of seconds";
        QTest::newRow("bad format") << QStringList{"monitor", "--board", "A", "--format", "xml"}
                                    << "--format: \"xml\" is not text, csv or jsonl";
        QTest::newRow("bad regex") << QStringList{"send", "--board", "A", "--expect", "("} << "--expect: ";
        QTest::newRow("bad driver") << QStringList{"--driver=usb", "list"} << "unknown driver \"usb\"";
        QTest::newRow("journal limit not whole")
            << QStringList{"monitor", "--board", "A", "--journal-max-days", "0.5"}
            << "--journal-max-days: \"0.5\" is not a whole number from 1 to 1000000";
        QTest::newRow("missing script") << QStringList{"send", "--board", "A", "--script", "/no/such/file.txt"}
                                        << "--script: \"" + QDir::toNativeSeparators("/no/such/file.txt") +
                                               "\" could not be read: ";
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const ParsedCliOptions parsed = parse(arguments);
        QCOMPARE(parsed.exitCode.value_or(-1), kExitUsage);
        QVERIFY2(parsed.error.startsWith(QStringLiteral("vantrel-cli: ") + message), qPrintable(parsed.error));
        // One line saying what was wrong, and where to look.
        QCOMPARE(parsed.error.count(u'\n'), 2);
    }

    void helpAndVersion()
    {
        const ParsedCliOptions help = parse({"--help"});
        QCOMPARE(help.exitCode.value_or(-1), kExitOk);
        for (const char *piece : {"list", "send", "monitor", "--expect", "--reconnect", "4  the board was lost"})
            QVERIFY2(help.output.contains(QLatin1String(piece)), piece);
        QCOMPARE(parse({"--version"}).output, QStringLiteral("vantrel-cli 3.0.0\n"));
    }

    void sendKeepsCommandLineOrder()
    {
        QTemporaryFile script;
        QVERIFY(script.open());
        script.write("a\r\nb");
        script.close();
        const ParsedCliOptions parsed = parse({"send", "--board", "A1B2", "--command", "first", "--script",
                                               script.fileName(), "--command", "last", "--demo"});
        QVERIFY(!parsed.exitCode);
        const CliOptions &options = parsed.options;
        QCOMPARE(options.boards, QStringList{"A1B2"});
        QCOMPARE(options.driver, DriverKind::Demo);
        QCOMPARE(options.steps.size(), 3);
        QCOMPARE(options.steps[0].text, QStringLiteral("first"));
        QCOMPARE(options.steps[1].kind, CliOptions::Step::Kind::Script);
        QCOMPARE(options.steps[1].text, QStringLiteral("a\nb")); // as the editor would hold it
        QCOMPARE(options.steps[2].text, QStringLiteral("last"));
        QCOMPARE(options.timeoutSeconds, 5.0);
        QVERIFY(!options.reconnect);
    }

    void monitorLists()
    {
        const ParsedCliOptions parsed = parse({"monitor", "--board", "A", "--adc", "8,2-3", "--adc", "2", "--pins",
                                               "18,1", "--format", "jsonl", "--seconds", "1.5", "--reconnect"});
        QVERIFY2(!parsed.exitCode, qPrintable(parsed.error));
        QCOMPARE(parsed.options.channels, QList<int>({2, 3, 8}));
        QCOMPARE(parsed.options.pins, QList<int>({1, 18}));
        QCOMPARE(parsed.options.format, RecordFormat::Jsonl);
        QCOMPARE(parsed.options.seconds.value_or(0), 1.5);
        QVERIFY(parsed.options.reconnect);
    }
};

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_cli_options.moc"
