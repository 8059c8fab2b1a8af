#include "device/comms.h"
#include "device/d2xx_driver.h"
#include "device/driver_factory.h"
#include "device/ftdi.h"
#include "device/serial_driver.h"

#include <QLibrary>
#include <QTest>

// The vendor-library backend, the device discovery built on it and the transmitter, checked against a fake
// library that records every argument it receives.
class FakeLibrary
{
public:
    explicit FakeLibrary(const QString &path)
        : m_library(path)
    {
        QVERIFY(m_library.load());
        reset = reinterpret_cast<void (*)()>(m_library.resolve("fake_d2xx_reset"));
        setDevices = reinterpret_cast<void (*)(const char *)>(m_library.resolve("fake_d2xx_set_devices"));
        setFailing = reinterpret_cast<void (*)(const char *)>(m_library.resolve("fake_d2xx_set_failing"));
        setReceived = reinterpret_cast<void (*)(const char *, int)>(m_library.resolve("fake_d2xx_set_received"));
        log = reinterpret_cast<const char *(*)()>(m_library.resolve("fake_d2xx_log"));
    }

    void (*reset)() = nullptr;
    void (*setDevices)(const char *) = nullptr;
    void (*setFailing)(const char *) = nullptr;
    void (*setReceived)(const char *, int) = nullptr;
    const char *(*log)() = nullptr;

private:
    QLibrary m_library;
};

class TestD2xxDriver : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeLibrary> m_fake;
    std::unique_ptr<D2xxDriver> m_driver;

    QByteArray log() const { return m_fake->log(); }

private Q_SLOTS:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("library");
        QTest::newRow("32-bit DWORD") << QStringLiteral(FAKE_D2XX_32);
#ifdef VANTREL_TEST_DWORD_64
        QTest::newRow("64-bit DWORD") << QStringLiteral(FAKE_D2XX_64);
#endif
    }

    void init()
    {
        QFETCH_GLOBAL(QString, library);
        m_fake = std::make_unique<FakeLibrary>(library);
        m_fake->reset();
        m_driver = std::make_unique<D2xxDriver>(library);
        QVERIFY2(m_driver->isLoaded(), qPrintable(m_driver->loadError()));
    }

    void countsWithTheCountForm()
    {
        m_fake->setDevices("A1B2\nDEMO0002");
        QCOMPARE(DeviceCount(*m_driver), 2);
        QCOMPARE(log(), QByteArray("FT_ListDevices(&count, null, 0x80000000)\n"));
    }

    void failedCountIsNoDevices()
    {
        m_fake->setDevices("A1B2");
        m_fake->setFailing("count");
        QCOMPARE(DeviceCount(*m_driver), 0);
    }

    void serialNumbers_data()
    {
        QTest::addColumn<QByteArray>("fromDriver");
        QTest::addColumn<QString>("expected");
        QTest::newRow("eight characters") << QByteArray("ABCDEFGH") << QStringLiteral("ABCDEFGH");
        QTest::newRow("sixteen, no zero among them")
            << QByteArray("0123456789ABCDEF") << QStringLiteral("0123456789ABCDEF");
        QTest::newRow("longer than sixteen")
            << QByteArray("0123456789ABCDEFGHIJ") << QStringLiteral("0123456789ABCDEF");
        QTest::newRow("8-bit byte") << QByteArray("FT\xC4"
                                                  "1")
                                    << QString::fromLatin1("FT\xC4"
                                                           "1");
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void serialNumbers()
    {
        QFETCH(QByteArray, fromDriver);
        QFETCH(QString, expected);
        m_fake->setDevices(("OTHER\n" + fromDriver).constData());
        QCOMPARE(DeviceSerial(*m_driver, 1), expected);
        QCOMPARE(log(), QByteArray("FT_ListDevices(1, buffer, 0x40000001)\n"));
    }

    void failingPositionGivesEmptyText()
    {
        m_fake->setDevices("A1B2");
        QCOMPARE(DeviceSerial(*m_driver, 1), QString());
        QCOMPARE(DeviceSerial(*m_driver, 0), QStringLiteral("A1B2"));
        m_fake->setFailing("position");
        QCOMPARE(DeviceSerial(*m_driver, 0), QString());
    }

    void opensBySerialNumber()
    {
        m_fake->setDevices("A1B2\nC3D4");
        QCOMPARE(OpenDevice(*m_driver, QStringLiteral("C3D4")), std::intptr_t(0x1001));
        QCOMPARE(log(), QByteArray("FT_W32_CreateFile(\"C3D4\", 0xc0000000, 0, null, 3, 0x81, null)\n"));
        QCOMPARE(OpenDevice(*m_driver, QStringLiteral("NOPE")), kInvalidHandle);
    }

    void transmitterWritesEachCommandInOneCall_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("call");
        QTest::newRow("id CR LF") << QStringLiteral("id\r\n")
                                  << QByteArray("FT_W32_WriteFile(0x1000, [105 100 13 10], 4, &written, null)\n");
        QTest::newRow("led on LF") << QStringLiteral("led on\n")
                                   << QByteArray(
                                          "FT_W32_WriteFile(0x1000, [108 101 100 32 111 110 10], 7, &written, null)\n");
        QTest::newRow("empty") << QString() << QByteArray("FT_W32_WriteFile(0x1000, [], 0, &written, null)\n");
        QTest::newRow("zero and 8-bit characters")
            << QString(QChar(0)) + QChar(0xFF) + QChar(0x263A)
            << QByteArray("FT_W32_WriteFile(0x1000, [0 255 63], 3, &written, null)\n");
    }

    void transmitterWritesEachCommandInOneCall()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, call);
        SendCommand(*m_driver, 0x1000, text);
        QCOMPARE(log(), call);
    }

    void transmitterWritesToNoBoardSilently()
    {
        SendCommand(*m_driver, 0, u"id\r\n");
        QCOMPARE(log(), QByteArray("FT_W32_WriteFile(0x0, [105 100 13 10], 4, &written, null)\n"));
    }

    void statusReadAndClose()
    {
        m_fake->setReceived("pin 3 1\r\n", 9);
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        QCOMPARE(m_driver->getStatus(0x1000, &rx, &tx, &events), FtOk);
        QCOMPARE(rx, 9u);
        char buffer[10] = {};
        std::uint32_t read = 0;
        QVERIFY(m_driver->readFile(0x1000, buffer, 9, &read));
        QCOMPARE(read, 9u);
        QCOMPARE(QByteArray(buffer, 9), QByteArray("pin 3 1\r\n"));
        QVERIFY(m_driver->closeHandle(0x1000));
        QCOMPARE(log(), QByteArray("FT_GetStatus(0x1000, &rx, &tx, &events)\n"
                                   "FT_W32_ReadFile(0x1000, buffer, 9, &read, null)\n"
                                   "FT_W32_CloseHandle(0x1000)\n"));
    }

    void failuresAreReported()
    {
        m_fake->setFailing("close;write;status;read");
        std::uint32_t n = 0;
        char buffer[4];
        QVERIFY(!m_driver->closeHandle(0x1000));
        QVERIFY(!m_driver->writeFile(0x1000, "id", 2, &n));
        QVERIFY(m_driver->getStatus(0x1000, &n, &n, &n) != FtOk);
        QVERIFY(!m_driver->readFile(0x1000, buffer, 4, &n));
    }
};

// A library that cannot be used leaves a backend that lists nothing and never crashes.
class TestD2xxUnusable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unusable_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << QStringLiteral("/nonexistent/libftd2xx.so")
                                      << QStringLiteral("could not be loaded");
        QTest::newRow("missing entry point")
            << QStringLiteral(FAKE_D2XX_MISSING) << QStringLiteral("lacks FT_GetStatus");
    }

    void unusable()
    {
        QFETCH(QString, library);
        QFETCH(QString, reason);
        D2xxDriver driver(library);
        QVERIFY(!driver.isLoaded());
        QVERIFY2(driver.loadError().contains(library), qPrintable(driver.loadError()));
        QVERIFY2(driver.loadError().contains(reason), qPrintable(driver.loadError()));
        QCOMPARE(DeviceCount(driver), 0);
        QCOMPARE(DeviceSerial(driver, 0), QString());
        QCOMPARE(OpenDevice(driver, QStringLiteral("A1B2")), kInvalidHandle);
        QVERIFY(!SendCommand(driver, 1, u"id\r\n"));
        std::uint32_t n = 7;
        char buffer[4];
        QVERIFY(driver.getStatus(1, &n, &n, &n) != FtOk);
        QVERIFY(!driver.readFile(1, buffer, 4, &n));
        QCOMPARE(n, 0u);
    }

    void autoTakesTheLibraryWhenItLoadsElseSerial()
    {
        qputenv("VANTREL_D2XX_LIBRARY", FAKE_D2XX_32);
        DriverChoice withLibrary = makeDriver(DriverKind::Auto);
        QVERIFY(dynamic_cast<D2xxDriver *>(withLibrary.driver.get()));
        QVERIFY(withLibrary.notice.isEmpty());

        qputenv("VANTREL_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
        DriverChoice without = makeDriver(DriverKind::Auto);
        QVERIFY(dynamic_cast<SerialDriver *>(without.driver.get()));
        QVERIFY(without.notice.isEmpty());

        // Asked for by name, a missing library is said so in one line.
        DriverChoice asked = makeDriver(DriverKind::D2xx);
        QVERIFY(asked.notice.contains(QLatin1String("/nonexistent/libftd2xx.so")));
        QVERIFY(!asked.notice.contains(u'\n'));
        qunsetenv("VANTREL_D2XX_LIBRARY");
    }

    void environmentNamesTheLibrary()
    {
        qputenv("VANTREL_D2XX_LIBRARY", "/opt/vendor/libftd2xx.so.1.4");
        QCOMPARE(D2xxDriver::defaultLibraryPath(), QStringLiteral("/opt/vendor/libftd2xx.so.1.4"));
        qunsetenv("VANTREL_D2XX_LIBRARY");
        QVERIFY(D2xxDriver::defaultLibraryPath().contains(QLatin1String("ftd2xx"), Qt::CaseInsensitive));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    TestD2xxDriver usable;
    TestD2xxUnusable unusable;
    return QTest::qExec(&usable, argc, argv) | QTest::qExec(&unusable, argc, argv);
}

#include "tst_d2xx_driver.moc"
