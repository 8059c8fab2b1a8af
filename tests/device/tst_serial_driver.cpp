#include "device/code_page.h"
#include "device/ftdi.h"
#include "device/serial_driver.h"
#include "device/serial_link.h"
#include "event_recorder.h"
#include "files/script_sending.h"
#include "session/board_session.h"
#include "slow_reader.h"

#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#if __has_include(<pty.h>)
#include <pty.h>
#else
#include <util.h> // macOS
#endif
#include <unistd.h>

Q_DECLARE_METATYPE(QList<SerialPortDescription>)

// The operating system's serial driver as a backend, over a pseudo-terminal pair standing in for the USB port:
// the test holds the far end, the driver opens the near end by name (as --port would).
class TestSerialDriver : public QObject
{
    Q_OBJECT

private:
    int m_far = -1;
    int m_near = -1;
    QString m_name;

    void closeFarEnd()
    {
        if (m_far >= 0)
            ::close(m_far);
        m_far = -1;
    }

    QByteArray readFar(qsizetype expected)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < expected && timer.elapsed() < 5000) {
            char buffer[256];
            const ssize_t n = ::read(m_far, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, n);
            else
                QTest::qWait(5);
        }
        return bytes;
    }

    void writeFar(const QByteArray &bytes) { QCOMPARE(::write(m_far, bytes.constData(), bytes.size()), bytes.size()); }

    // Status until the driver has `expected` bytes queued (they cross the pseudo-terminal asynchronously).
    std::uint32_t waitQueued(SerialDriver &driver, std::intptr_t handle, std::uint32_t expected)
    {
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        QElapsedTimer timer;
        timer.start();
        do {
            driver.getStatus(handle, &rx, &tx, &events);
            if (rx >= expected)
                break;
            QTest::qWait(5);
        } while (timer.elapsed() < 5000);
        return rx;
    }

    std::intptr_t openNear(SerialDriver &driver)
    {
        const std::int32_t count = DeviceCount(driver);
        const QString text = DeviceSerial(driver, count - 1);
        return OpenDevice(driver, text);
    }

private Q_SLOTS:
    void aPositionIsAskedOfTheSystemAgain()
    {
        QList<SerialPortDescription> attached{{QStringLiteral("ttyUSB0"), true, kFtdiVendorIdentifier, "AAAA"},
                                              {QStringLiteral("ttyUSB1"), true, kFtdiVendorIdentifier, "BBBB"}};
        SerialDriver driver({}, [&attached] { return attached; });
        QCOMPARE(DeviceCount(driver), 2);
        attached.removeFirst(); // AAAA unplugged after the scan, before the operator's choice
        QTest::qWait(150);
        QCOMPARE(DeviceSerial(driver, 0), QStringLiteral("BBBB"));
        QCOMPARE(DeviceSerial(driver, 1), QString());
    }

    // A script far larger than the terminal's own buffer, to a board that reads it slowly (about 3 s): sent whole
    // and in order, with no loss said, and without holding up the caller, who goes on polling meanwhile.
    void aSlowLinkIsNotALostBoard()
    {
        SerialDriver driver({m_name});
        BoardSession session(driver);
        EventRecorder seen(session);
        session.selectDevice(DeviceCount(driver) - 1);
        QString script;
        for (int line = 0; script.size() < 384 * 1024; ++line)
            script += QStringLiteral("pin  %1 set\n").arg(line % 18 + 1);
        const QByteArray expected = toCodePage(scriptSendText(script));
        SlowReader board(m_far, 4096, 40);
        session.send(scriptSendText(script));
        // Back at once with most of it still to go; the poll runs on while it goes.
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        QCOMPARE(driver.getStatus(session.handle(), &rx, &tx, &events), FtOk);
        QVERIFY(tx > 256 * 1024);
        QTRY_VERIFY_WITH_TIMEOUT((session.poll(), board.size() >= expected.size()), 20'000);
        QCOMPARE(board.bytes(), expected);
        QVERIFY(!session.isLost());
        QVERIFY(!seen.log.join(u'\n').contains(QStringLiteral("Device lost")));
    }

    void init()
    {
        char name[256] = {};
        QCOMPARE(::openpty(&m_far, &m_near, name, nullptr, nullptr), 0);
        m_name = QString::fromLocal8Bit(name);
        ::fcntl(m_far, F_SETFL, ::fcntl(m_far, F_GETFL) | O_NONBLOCK);
    }

    void cleanup()
    {
        closeFarEnd();
        ::close(m_near);
    }

    void listingFiltersAndOrders_data()
    {
        QTest::addColumn<QList<SerialPortDescription>>("ports");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("names");
        const QList<SerialPortDescription> mixed{
            {QStringLiteral("ttyUSB1"), true, 0x0403, QStringLiteral("FTB2")},
            {QStringLiteral("ttyACM0"), true, 0x2341, QStringLiteral("ARDUINO")},
            {QStringLiteral("ttyS0"), false, 0, QString()},
            {QStringLiteral("ttyUSB0"), true, 0x0403, QStringLiteral("FTA1")},
            {QStringLiteral("ttyUSB2"), true, 0x0403, QString()},
            {QStringLiteral("ttyUSB3"), true, 0x0403, QStringLiteral("A-SERIAL-LONGER-THAN-16")},
        };
        QTest::newRow("FTDI only, by port name")
            << mixed << QStringList() << QStringList{"FTA1", "FTB2", "ttyUSB2", "A-SERIAL-LONGER-"}
            << QStringList{"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"};
        QTest::newRow("extra ports after them")
            << mixed.mid(0, 1) << QStringList{"/dev/pts/7", "COM7"} << QStringList{"FTB2", "/dev/pts/7", "COM7"}
            << QStringList{"ttyUSB1", "/dev/pts/7", "COM7"};
        QTest::newRow("nothing") << QList<SerialPortDescription>() << QStringList() << QStringList() << QStringList();
    }

    void listingFiltersAndOrders()
    {
        QFETCH(QList<SerialPortDescription>, ports);
        QFETCH(QStringList, extra);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, names);
        QStringList seenTexts;
        QStringList seenNames;
        for (const SerialPortEntry &entry : listedSerialPorts(ports, extra)) {
            seenTexts.append(entry.deviceText);
            seenNames.append(entry.portName);
        }
        QCOMPARE(seenTexts, texts);
        QCOMPARE(seenNames, names);
    }

    void namedPortIsListedAndOpened()
    {
        SerialDriver driver({m_name});
        const std::int32_t count = DeviceCount(driver);
        QVERIFY(count >= 1);
        QCOMPARE(DeviceSerial(driver, count - 1), m_name.left(16));
        QCOMPARE(DeviceSerial(driver, count), QString());
        const std::intptr_t handle = OpenDevice(driver, m_name.left(16));
        QVERIFY(handle > 0);
        QVERIFY(driver.closeHandle(handle));
        QVERIFY(!driver.closeHandle(handle));
    }

    void unknownSerialGivesTheInvalidHandle()
    {
        SerialDriver driver({m_name});
        QCOMPARE(OpenDevice(driver, QStringLiteral("NO-SUCH-BOARD")), kInvalidHandle);
        QCOMPARE(OpenDevice(driver, QString()), kInvalidHandle);
    }

    void bytesGoOutByteForByte()
    {
        SerialDriver driver({m_name});
        const std::intptr_t handle = openNear(driver);
        QVERIFY(handle > 0);
        const QByteArray bytes("pin  1 set\r\n\0\r\n\xFF\x80 end", 21);
        std::uint32_t written = 0;
        QVERIFY(driver.writeFile(handle, bytes.constData(), std::uint32_t(bytes.size()), &written));
        QCOMPARE(written, std::uint32_t(bytes.size()));
        QCOMPARE(readFar(bytes.size()), bytes);
    }

    void bytesComeBackThroughStatusAndRead()
    {
        SerialDriver driver({m_name});
        const std::intptr_t handle = openNear(driver);
        writeFar(QByteArray("pin 3 1\r\nadc 2 \0\xFF", 17));
        QCOMPARE(waitQueued(driver, handle, 17), 17u);
        char buffer[32] = {};
        std::uint32_t read = 0;
        QVERIFY(driver.readFile(handle, buffer, 5, &read));
        QCOMPARE(QByteArray(buffer, int(read)), QByteArray("pin 3"));
        QCOMPARE(waitQueued(driver, handle, 12), 12u);
        QVERIFY(driver.readFile(handle, buffer, 12, &read));
        QCOMPARE(QByteArray(buffer, int(read)), QByteArray(" 1\r\nadc 2 \0\xFF", 12));
        std::uint32_t rx = 99;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        QCOMPARE(driver.getStatus(handle, &rx, &tx, &events), FtOk);
        QCOMPARE(rx, 0u);
    }

    void unplugFailsSilentlyAndLosesNothing()
    {
        SerialDriver driver({m_name});
        const std::intptr_t handle = openNear(driver);
        writeFar("last words\n");
        QCOMPARE(waitQueued(driver, handle, 11), 11u);
        closeFarEnd(); // the board is pulled out

        // A while of the event loop running, as the program's would: the error is seen once and the port closed.
        QTest::qWait(200);
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        driver.getStatus(handle, &rx, &tx, &events);
        QCOMPARE(driver.portFailures(), 1);

        // What arrived before the unplug is still there to read.
        QCOMPARE(rx, 11u);
        char buffer[16] = {};
        std::uint32_t read = 0;
        QVERIFY(driver.readFile(handle, buffer, 16, &read));
        QCOMPARE(QByteArray(buffer, int(read)), QByteArray("last words\n"));

        // Then everything fails, quietly and at once.
        QVERIFY(driver.getStatus(handle, &rx, &tx, &events) != FtOk);
        QCOMPARE(rx, 0u);
        QVERIFY(!driver.readFile(handle, buffer, 16, &read));
        std::uint32_t written = 7;
        QVERIFY(!driver.writeFile(handle, "id\r\n", 4, &written));
        QCOMPARE(written, 0u);
        QTest::qWait(50);
        QCOMPARE(driver.portFailures(), 1);
        QVERIFY(driver.closeHandle(handle));
    }

    void theSessionNoticesAnUnplugOnceAndKeepsWhatArrived()
    {
        SerialDriver driver({m_name});
        BoardSession session(driver);
        EventRecorder frontEnd(session);
        session.setReconnect(false);
        session.selectDevice(DeviceCount(driver) - 1);
        frontEnd.clear();
        writeFar("last words\n");
        QTRY_VERIFY((session.poll(), !frontEnd.log.isEmpty()));
        closeFarEnd(); // the board is pulled out
        for (int i = 0; i < 10; ++i) {
            QTest::qWait(20);
            session.poll();
        }
        QCOMPARE(frontEnd.log, QStringList({QStringLiteral("received : last words"), QString(),
                                            QStringLiteral("Device lost : ") + m_name.left(16)}));
        QVERIFY(session.isLost());
    }

    // How much the board's end can write now without blocking, while the event loop runs in between.
    qint64 writableNow(int rounds)
    {
        const QByteArray chunk(1024, 'x');
        qint64 total = 0;
        for (int round = 0; round < rounds; ++round) {
            for (;;) {
                const ssize_t n = ::write(m_far, chunk.constData(), size_t(chunk.size()));
                if (n <= 0)
                    break;
                total += n;
            }
            QTest::qWait(30);
        }
        return total;
    }

    void slowStreamsWaitInTheSystemBetweenPolls()
    {
        SerialDriver driver({m_name});
        const std::intptr_t handle = openNear(driver);
        QVERIFY(handle > 0);
        // Nobody reads between polls: once the terminal's own small queue is full, the board is held back.
        const qint64 written = writableNow(10);
        QVERIFY2(written < 64 * 1024, qPrintable(QString::number(written)));
        const std::uint32_t queued = waitQueued(driver, handle, 1);
        QVERIFY(queued > 0 && queued <= written);
    }

    void fastStreamsAreDrainedBetweenPolls()
    {
        SerialDriver driver({m_name});
        const std::intptr_t handle = openNear(driver);
        writableNow(1);
        QVERIFY(waitQueued(driver, handle, SerialLink::kBusyBytes) >= SerialLink::kBusyBytes); // a busy poll
        // From now on the port is drained while the event loop runs, without another poll.
        QVERIFY(writableNow(30) > 64 * 1024);
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        QCOMPARE(driver.getStatus(handle, &rx, &tx, &events), FtOk);
        QVERIFY(rx > 2 * SerialLink::kBusyBytes);
    }
};

QTEST_GUILESS_MAIN(TestSerialDriver)
#include "tst_serial_driver.moc"
