#include "app/options.h"
#include "device/d2xx_driver.h"
#include "device/driver_factory.h"
#include "device/serial_driver.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The command line: every option, the usage errors and their exit code, and what auto falls back to.
class TestOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Vantrel Control"));
        QCoreApplication::setApplicationVersion(QStringLiteral("3.0.0"));
    }

    void table_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the program runs
        QTest::addColumn<int>("driver");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("message"); // a piece of what is printed
        QTest::addColumn<bool>("reconnect");
        const QStringList none;
        const int runs = -1;
        QTest::newRow("nothing") << none << runs << int(DriverKind::Auto) << none << QString() << true;
        QTest::newRow("--driver=d2xx") << QStringList{"--driver=d2xx"} << runs << int(DriverKind::D2xx) << none
                                       << QString() << true;
        QTest::newRow("--driver serial") << QStringList{"--driver", "serial"} << runs << int(DriverKind::Serial) << none
                                         << QString() << true;
        QTest::newRow("--driver=auto") << QStringList{"--driver=auto"} << runs << int(DriverKind::Auto) << none
                                       << QString() << true;
        QTest::newRow("--demo") << QStringList{"--demo"} << runs << int(DriverKind::Demo) << none << QString() << true;
        QTest::newRow("--demo with --driver=demo")
            << QStringList{"--demo", "--driver=demo"} << runs << int(DriverKind::Demo) << none << QString() << true;
        QTest::newRow("two ports") << QStringList{"--port", "/dev/pts/5", "--port=COM7"} << runs
                                   << int(DriverKind::Auto) << QStringList{"/dev/pts/5", "COM7"} << QString() << true;
        QTest::newRow("--no-reconnect") << QStringList{"--no-reconnect"} << runs << int(DriverKind::Auto) << none
                                        << QString() << false;
        QTest::newRow("two scripts") << QStringList{"a.txt", "b.txt"} << 2 << 0 << none
                                     << QStringLiteral("unexpected argument: b.txt") << true;
        QTest::newRow("--help") << QStringList{"--help"} << 0 << 0 << none << QStringLiteral("--driver <name>") << true;
        QTest::newRow("--version") << QStringList{"--version"} << 0 << 0 << none
                                   << QStringLiteral("Vantrel Control 3.0.0\n") << true;
        QTest::newRow("unknown driver") << QStringList{"--driver=ftdi"} << 2 << 0 << none
                                        << QStringLiteral(
                                               "unknown driver \"ftdi\": use auto, d2xx, serial, demo, mqtt or replay")
                                        << true;
        QTest::newRow("empty driver") << QStringList{"--driver="} << 2 << 0 << none
                                      << QStringLiteral("unknown driver \"\"") << true;
        QTest::newRow("--demo against --driver") << QStringList{"--demo", "--driver=serial"} << 2 << 0 << none
                                                 << QStringLiteral("--demo contradicts --driver=serial") << true;
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << 0 << none
                                        << QStringLiteral("Unknown option 'frobnicate'") << true;
        QTest::newRow("--port without a name")
            << QStringList{"--port"} << 2 << 0 << none << QStringLiteral("Missing value after '--port'") << true;
    }

    void table()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, driver);
        QFETCH(QStringList, ports);
        QFETCH(QString, message);
        QFETCH(bool, reconnect);
        const ParsedOptions parsed = parseOptions(QStringList{"vantrel-control"} + arguments);
        QCOMPARE(parsed.exitCode.value_or(-1), exitCode);
        if (exitCode == -1) {
            QCOMPARE(int(parsed.options.driver), driver);
            QCOMPARE(parsed.options.ports, ports);
            QCOMPARE(parsed.options.reconnect, reconnect);
            QVERIFY(parsed.output.isEmpty() && parsed.error.isEmpty());
        } else if (exitCode == 0) {
            QVERIFY2(parsed.output.contains(message), qPrintable(parsed.output));
            QVERIFY(parsed.error.isEmpty());
        } else {
            // One line saying what was wrong, then the usage.
            QVERIFY2(parsed.error.startsWith(QStringLiteral("vantrel-control: ") + message), qPrintable(parsed.error));
            QVERIFY(parsed.error.contains(QStringLiteral("Usage:")));
            QVERIFY(parsed.output.isEmpty());
        }
    }

    void noRestoreIsForOneRun()
    {
        QVERIFY(parseOptions({"vantrel-control"}).options.restore);
        QVERIFY(!parseOptions({"vantrel-control", "--no-restore"}).options.restore);
    }

    void aScriptFileToOpen()
    {
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("check.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const ParsedOptions parsed = parseOptions({"vantrel-control", "--demo", path});
        QVERIFY(!parsed.exitCode);
        QCOMPARE(parsed.options.script, path);
    }

    void autoFallsBackToSerialWithoutTheVendorLibrary()
    {
        qputenv("VANTREL_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
        const DriverChoice automatic = makeDriver(DriverKind::Auto);
        QVERIFY(dynamic_cast<SerialDriver *>(automatic.driver.get()));
        QVERIFY(automatic.notice.isEmpty()); // silently
        const DriverChoice vendor = makeDriver(DriverKind::D2xx);
        QVERIFY(dynamic_cast<D2xxDriver *>(vendor.driver.get()));
        QVERIFY(vendor.notice.contains(QStringLiteral("/nonexistent/libftd2xx.so")));
        qunsetenv("VANTREL_D2XX_LIBRARY");
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
