#include "device/demo_driver.h"
#include "device/ftdi.h"

#include <QTest>

// The simulated boards, driven through the driver interface as the program drives hardware.
class TestDemoDriver : public QObject
{
    Q_OBJECT

private:
    qint64 m_now = 0;
    std::unique_ptr<DemoDriver> m_driver;

    void send(std::intptr_t handle, const QByteArray &bytes)
    {
        std::uint32_t written = 0;
        QVERIFY(m_driver->writeFile(handle, bytes.constData(), std::uint32_t(bytes.size()), &written));
        QCOMPARE(written, std::uint32_t(bytes.size()));
    }

    // Everything queued, read the way the receive tick reads it.
    QByteArray receive(std::intptr_t handle)
    {
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        if (m_driver->getStatus(handle, &rx, &tx, &events) != FtOk || rx == 0)
            return {};
        QByteArray bytes(rx, '\0');
        std::uint32_t read = 0;
        if (!m_driver->readFile(handle, bytes.data(), rx, &read))
            return {};
        bytes.truncate(read);
        return bytes;
    }

private Q_SLOTS:
    void init()
    {
        m_now = 0;
        m_driver = std::make_unique<DemoDriver>([this] { return m_now; });
    }

    void listsTwoBoards()
    {
        QCOMPARE(DeviceCount(*m_driver), 2);
        QCOMPARE(DeviceSerial(*m_driver, 0), QStringLiteral("DEMO0001"));
        QCOMPARE(DeviceSerial(*m_driver, 1), QStringLiteral("DEMO0002"));
        QCOMPARE(DeviceSerial(*m_driver, 2), QString());
        QCOMPARE(DeviceSerial(*m_driver, -1), QString());
    }

    void opensByExactSerialOnly()
    {
        const std::intptr_t first = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        QVERIFY(first > 0);
        QCOMPARE(OpenDevice(*m_driver, QStringLiteral("DEMO0001")), kInvalidHandle); // already open
        QCOMPARE(OpenDevice(*m_driver, QStringLiteral("demo0001")), kInvalidHandle);
        QCOMPARE(OpenDevice(*m_driver, QStringLiteral("NOPE")), kInvalidHandle);
        QVERIFY(m_driver->closeHandle(first));
        const std::intptr_t again = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        QVERIFY(again > 0 && again != first);
    }

    void callsOnHandlesThatAreNotOpenFail()
    {
        std::uint32_t n = 0;
        char buffer[4];
        for (std::intptr_t handle : {std::intptr_t(0), kInvalidHandle, std::intptr_t(99)}) {
            QVERIFY(!m_driver->writeFile(handle, "id\r\n", 4, &n));
            QCOMPARE(n, 0u);
            QVERIFY(m_driver->getStatus(handle, &n, &n, &n) != FtOk);
            QVERIFY(!m_driver->readFile(handle, buffer, 4, &n));
            QVERIFY(!m_driver->closeHandle(handle));
        }
    }

    void scriptedConversation()
    {
        const std::intptr_t handle = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        m_now = 100; // pin 3 reads low until 900 ms
        send(handle, "pin  3 monitor on\n");
        QCOMPARE(receive(handle), QByteArray("pin 3 0\r\n"));
        QCOMPARE(receive(handle), QByteArray());

        m_now = 950; // pin 3 has gone high on its own
        QCOMPARE(receive(handle), QByteArray("pin 3 1\r\n"));

        send(handle, "pin  3 clear\r\npin  3 output\r\n"); // an output follows the command: low
        QCOMPARE(receive(handle), QByteArray("pin 3 0\r\n"));
        send(handle, "pin  3 set\r\n");
        QCOMPARE(receive(handle), QByteArray("pin 3 1\r\n"));

        send(handle, "adc  2\n");
        const QByteArray reading = receive(handle);
        QCOMPARE(reading, "adc 2 " + QByteArray::number(DemoBoard::analogLevel(2, m_now)) + "\r\n");

        send(handle, "id\r\n");
        QCOMPARE(receive(handle), QByteArray("Vantrel USB I/O board DEMO0001 (simulated) firmware 3.0\r\n"));
        send(handle, "led on\nled off\rbogus thing\r\n");
        QCOMPARE(receive(handle), QByteArray("ok led on\r\nok led off\r\nerror unknown command: bogus thing\r\n"));

        // Reset makes every pin an unmonitored input again.
        send(handle, "reset\r\n");
        QCOMPARE(receive(handle), QByteArray("ok reset\r\n"));
        m_now = 5000;
        QCOMPARE(receive(handle), QByteArray());
    }

    void boardsKeepTheirOwnState()
    {
        const std::intptr_t first = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        const std::intptr_t second = OpenDevice(*m_driver, QStringLiteral("DEMO0002"));
        send(first, "pin  1 monitor on\n");
        QCOMPARE(receive(second), QByteArray());
        QCOMPARE(receive(first), QByteArray("pin 1 0\r\n"));
    }

    void malformedCommandsAreAnsweredNotObeyed_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("pin 0") << QByteArray("pin  0 output");
        QTest::newRow("pin 19") << QByteArray("pin  19 output");
        QTest::newRow("no action") << QByteArray("pin  4");
        QTest::newRow("adc 9") << QByteArray("adc  9");
        QTest::newRow("adc word") << QByteArray("adc  x");
    }

    void malformedCommandsAreAnsweredNotObeyed()
    {
        QFETCH(QByteArray, command);
        const std::intptr_t handle = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        send(handle, command + "\r\n");
        QVERIFY(receive(handle).startsWith("error bad "));
    }

    void analogLevelsStayInRangeAndMove()
    {
        for (int channel = 1; channel <= 8; ++channel) {
            int low = 255;
            int high = 0;
            for (qint64 t = 0; t < 10000; t += 100) {
                const int level = DemoBoard::analogLevel(channel, t);
                QVERIFY(level >= 0 && level <= 255);
                // Smooth: a tenth of a second moves a meter by less than a third of its range.
                QVERIFY(std::abs(level - DemoBoard::analogLevel(channel, t + 100)) < 85);
                low = std::min(low, level);
                high = std::max(high, level);
            }
            QVERIFY(low < 20 && high > 235);
        }
    }

    void overlongCommandIsRefusedWhole()
    {
        const std::intptr_t handle = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        send(handle, QByteArray(1000, 'x') + "\nid\n");
        const QByteArray answer = receive(handle);
        QVERIFY(answer.startsWith("error command too long\r\nVantrel"));
    }

    void unplugPullsTheBoardOutForFiveSeconds()
    {
        const std::intptr_t handle = OpenDevice(*m_driver, QStringLiteral("DEMO0002"));
        send(handle, "pin 4 output\npin 4 set\npin 4 monitor on\n");
        receive(handle);
        send(handle, "unplug\n");
        QCOMPARE(DeviceCount(*m_driver), 1);
        QCOMPARE(DeviceSerial(*m_driver, 0), QStringLiteral("DEMO0001"));
        std::uint32_t rx = 0;
        std::uint32_t written = 0;
        char byte = 0;
        QCOMPARE(m_driver->getStatus(handle, &rx, &rx, &rx), FtIoError);
        QVERIFY(!m_driver->readFile(handle, &byte, 1, &rx));
        QVERIFY(!m_driver->writeFile(handle, "id\n", 3, &written));
        QCOMPARE(OpenDevice(*m_driver, QStringLiteral("DEMO0002")), kInvalidHandle);

        m_now += DemoDriver::kUnplugMs;
        QCOMPARE(DeviceCount(*m_driver), 2);
        QCOMPARE(m_driver->getStatus(handle, &rx, &rx, &rx), FtIoError); // the old handle stays dead
        QVERIFY(m_driver->closeHandle(handle));
        const std::intptr_t again = OpenDevice(*m_driver, QStringLiteral("DEMO0002"));
        QVERIFY(again > 0 && again != handle);
        // Powered up afresh: pin 4 is an input again and not monitored.
        send(again, "pin 4 monitor on\n");
        QCOMPARE(receive(again), QByteArray("pin 4 ") + QByteArray::number(DemoBoard::inputLevel(4, m_now)) + "\r\n");
    }

    void helpListsTheBoardsLanguage()
    {
        const std::intptr_t handle = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        send(handle, "help\r\n");
        const QList<QByteArray> lines = receive(handle).split('\n');
        QVERIFY(lines.size() > 6);
        for (const char *command :
             {"id", "led on", "reset", "pin N input|output", "pin N set|clear", "pin N monitor on|off", "adc C"}) {
            QVERIFY2(std::any_of(lines.begin(), lines.end(),
                                 [command](const QByteArray &line) {
                                     return line.startsWith("help: ") && line.contains(command);
                                 }),
                     command);
        }
    }

    void demo0002SitsOnALoopbackFixture()
    {
        const std::intptr_t fixture = OpenDevice(*m_driver, QStringLiteral("DEMO0002"));
        const std::intptr_t bare = OpenDevice(*m_driver, QStringLiteral("DEMO0001"));
        m_now = 1; // pin 10's own pattern reads 0 here
        for (const std::intptr_t handle : {fixture, bare})
            send(handle, "pin 10 monitor on\npin 1 set\r\npin 1 output\r\npin 9 set\r\npin 9 output\r\n");
        // The follower reports the change the moment its driver becomes an output.
        QCOMPARE(receive(fixture), QByteArray("pin 10 0\r\npin 10 1\r\n"));
        QCOMPARE(receive(bare), QByteArray("pin 10 0\r\n"));
        send(fixture, "pin 1 clear\r\n");
        QCOMPARE(receive(fixture), QByteArray("pin 10 0\r\n"));
        // Channel 8: 200 +/- 3 while pin 9 drives high, 50 +/- 3 otherwise.
        for (const auto &[command, low, high] : {std::tuple("", 197, 203), std::tuple("pin 9 clear\r\n", 47, 53)}) {
            send(fixture, command);
            for (int i = 0; i < 50; ++i, m_now += 17) {
                send(fixture, "adc 8\n");
                const int reading = receive(fixture).trimmed().split(' ').last().toInt();
                QVERIFY2(reading >= low && reading <= high, qPrintable(QString::number(reading)));
            }
        }
        send(fixture, "help\r\n");
        QVERIFY(receive(fixture).contains("fixture: while pin k (1..9) is an output, input pin k+9 follows"));
        send(bare, "help\r\n");
        QVERIFY(!receive(bare).contains("fixture"));
    }
};

QTEST_GUILESS_MAIN(TestDemoDriver)
#include "tst_demo_driver.moc"
