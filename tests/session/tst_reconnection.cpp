#include "device/d2xx_driver.h"
#include "session_rig.h"

#include <QLibrary>
#include <QTest>

// A board that goes away while open and comes back: noticed once, looked for at most once a second, reopened
// with a new handle and put back as the operator left it.
class TestReconnection : public QObject
{
    Q_OBJECT

private:
    // A rig with board A1B2 selected and told: pins 3 (high) and 7 (low) outputs, pins 2 and 5 monitored.
    static void prepare(SessionRig &rig)
    {
        rig.selectAndForget();
        rig.session.makePinOutput(3);
        rig.session.setPinLevel(3, true);
        rig.session.makePinOutput(7);
        rig.session.setPinMonitored(2, true);
        rig.session.setPinMonitored(5, true);
        rig.forget();
    }

    static void pullOut(SessionRig &rig)
    {
        rig.driver.serials.clear();
        rig.driver.failStatus = true;
        rig.driver.failWrite = true;
    }

    static void plugIn(SessionRig &rig)
    {
        rig.driver.serials = {QStringLiteral("A1B2")};
        rig.driver.failStatus = false;
        rig.driver.failWrite = false;
    }

private Q_SLOTS:
    void signsOfLoss_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<std::uint32_t>("status");
        QTest::addColumn<bool>("lost");
        QTest::newRow("status: I/O error") << "status" << FtIoError << true;
        QTest::newRow("status: device not found") << "status" << FtDeviceNotFound << true;
        QTest::newRow("status: device not opened") << "status" << FtDeviceNotOpened << true;
        QTest::newRow("status: invalid parameter") << "status" << FtInvalidParameter << false;
        QTest::newRow("read") << "read" << FtOk << true;
        QTest::newRow("write") << "write" << FtOk << true;
    }

    void signsOfLoss()
    {
        QFETCH(QString, failing);
        QFETCH(std::uint32_t, status);
        QFETCH(bool, lost);
        SessionRig rig;
        prepare(rig);
        rig.tick(true, {1});
        rig.driver.queue("pin 4 1\n");
        rig.driver.failStatus = failing == u"status";
        rig.driver.statusFailure = status;
        rig.driver.failRead = failing == u"read";
        rig.driver.failWrite = failing == u"write";
        for (int i = 0; i < 30; ++i)
            rig.pollAfter(100); // 3 s, the board listed and openable but still failing
        QCOMPARE(rig.session.isLost(), lost);
        if (lost) {
            // One line however many polls pass (reopened boards fail again at once, and are lost again once
            // each: the board is listed but broken).
            QCOMPARE(rig.seen.log.first(), QStringLiteral("Device lost : A1B2"));
            QCOMPARE(rig.seen.status, QStringLiteral("Device lost : A1B2"));
            QVERIFY(rig.seen.log.count(QStringLiteral("Device lost : A1B2")) <= 3);
        } else {
            QVERIFY(!rig.seen.log.contains(QStringLiteral("Device lost : A1B2")));
        }
    }

    void comingBackRestoresOutputsThenMonitoring()
    {
        SessionRig rig;
        prepare(rig);
        pullOut(rig);
        rig.pollAfter(100);
        QCOMPARE(rig.seen.log, QStringList{"Device lost : A1B2"});
        rig.driver.clearCalls();

        // Gone for 3.5 s: looked for once a second, never opened while not listed, nothing more logged.
        for (int i = 0; i < 35; ++i)
            rig.pollAfter(100);
        QCOMPARE(rig.driver.count(DriverCall::Count), 3);
        QCOMPARE(rig.driver.count(DriverCall::Create), 0);
        QCOMPARE(rig.driver.count(DriverCall::Write), 0); // no analog requests into a gone board
        QCOMPARE(rig.seen.log.size(), 1);

        plugIn(rig);
        rig.driver.clearCalls();
        rig.seen.clear();
        int polls = 0;
        while (rig.driver.count(DriverCall::Create) == 0 && polls < 20) {
            rig.pollAfter(100);
            ++polls;
        }
        QVERIFY(polls <= 10); // within a second of its return
        // The dead handle is closed before the new open.
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(rig.session.handle(), std::intptr_t(101));
        QCOMPARE(rig.seen.log, QStringList({"Device selected : A1B2", "pin  3 set", "pin  3 output", "pin  7 clear",
                                            "pin  7 output"}));
        QCOMPARE(rig.seen.status, QStringLiteral("Device selected : A1B2"));
        QCOMPARE(rig.driver.writes(),
                 QList<QByteArray>({"pin  3 set\r\n", "pin  3 output\r\n", "pin  7 clear\r\n", "pin  7 output\r\n",
                                    "pin  2 monitor on\n", "pin  5 monitor on\n"}));

        // Then the board is used as before: requests with the next poll, lines handled the same way.
        rig.tick(true, {2});
        rig.driver.clearCalls();
        rig.seen.clear();
        rig.driver.queue("adc 2 9\nok\n");
        rig.pollAfter(100);
        QCOMPARE(rig.driver.writes(), QList<QByteArray>{"adc  2\n"});
        QCOMPARE(rig.seen.readings[2], 9);
        QCOMPARE(rig.seen.log, QStringList({"received : ok", ""}));
        QVERIFY(!rig.session.isLost());
    }

    // Only what the lost board itself was told since it was selected goes back, in the order it was told.
    void whatAnotherBoardWasToldStaysWithIt()
    {
        SessionRig rig({"A1B2", "C3D4"});
        rig.session.scanDevices();
        rig.session.selectDevice(0);
        rig.session.makePinOutput(1);
        rig.session.setPinLevel(1, true);
        rig.session.selectDevice(1);
        rig.session.setPinMonitored(9, true);
        rig.session.makePinOutput(4); // "clear", "output"
        rig.session.setPinMonitored(9, false);
        rig.driver.serials = {QStringLiteral("A1B2")};
        rig.driver.failStatus = true;
        rig.forget();
        rig.pollAfter(100);
        QVERIFY(rig.session.isLost());
        rig.driver.serials = {QStringLiteral("A1B2"), QStringLiteral("C3D4")};
        rig.driver.failStatus = false;
        for (int i = 0; i < 12 && rig.session.isLost(); ++i)
            rig.pollAfter(100);
        QVERIFY(!rig.session.isLost());
        QCOMPARE(rig.driver.writes(),
                 QList<QByteArray>({"pin  4 clear\r\n", "pin  4 output\r\n", "pin  9 monitor off\n"}));
    }

    void aBoardListedButNotReadyIsTriedAgainLater()
    {
        SessionRig rig;
        prepare(rig);
        pullOut(rig);
        rig.pollAfter(100);
        plugIn(rig);
        rig.driver.unopenable = {QStringLiteral("A1B2")};
        rig.seen.clear();
        rig.pollAfter(1000);
        QCOMPARE(rig.driver.count(DriverCall::Create), 1);
        QVERIFY(rig.session.isLost());
        QVERIFY(rig.seen.log.isEmpty());
        rig.driver.unopenable.clear();
        rig.pollAfter(500);
        QCOMPARE(rig.driver.count(DriverCall::Create), 1); // not before a second has passed
        rig.pollAfter(500);
        QCOMPARE(rig.driver.count(DriverCall::Create), 2);
        QVERIFY(!rig.session.isLost());
        QCOMPARE(rig.seen.log.first(), QStringLiteral("Device selected : A1B2"));
    }

    void theOperatorStaysInCharge()
    {
        // A new selection ends the waiting.
        SessionRig rig({"A1B2", "C3D4"});
        rig.selectAndForget(0);
        rig.driver.failStatus = true;
        rig.pollAfter(100);
        QVERIFY(rig.session.isLost());
        rig.driver.failStatus = false;
        rig.session.selectDevice(1);
        QVERIFY(!rig.session.isLost());
        rig.driver.clearCalls();
        rig.pollAfter(2000);
        QCOMPARE(rig.driver.count(DriverCall::Count), 0);

        // Closing the program ends it too: nothing is polled or looked for afterwards.
        rig.driver.failStatus = true;
        rig.pollAfter(100);
        rig.session.closeDevice();
        rig.driver.clearCalls();
        rig.pollAfter(2000);
        QVERIFY(rig.driver.calls.empty());
    }

    void withoutReconnectionALostBoardStaysLost()
    {
        SessionRig rig;
        prepare(rig);
        rig.session.setReconnect(false);
        pullOut(rig);
        rig.pollAfter(100);
        plugIn(rig);
        for (int i = 0; i < 30; ++i)
            rig.pollAfter(100);
        QVERIFY(rig.session.isLost());
        QCOMPARE(rig.driver.count(DriverCall::Count), 0);
        QCOMPARE(rig.driver.count(DriverCall::Create), 0);
        QCOMPARE(rig.seen.log, QStringList{"Device lost : A1B2"});
    }

    void aFailedOpenIsNeverLost()
    {
        SessionRig rig;
        rig.driver.unopenable = {QStringLiteral("A1B2")};
        rig.selectAndForget();
        rig.driver.failStatus = true;
        rig.driver.failWrite = true;
        rig.session.send(identityCommand());
        rig.pollAfter(100);
        QVERIFY(!rig.session.isLost());
        QVERIFY(rig.seen.log.isEmpty());
    }

    void vendorLibraryBoardPulledAndPutBack()
    {
        QLibrary fake(QStringLiteral(FAKE_D2XX_32));
        QVERIFY(fake.load());
        const auto call = [&](const char *name) {
            return fake.resolve(name);
        };
        reinterpret_cast<void (*)()>(call("fake_d2xx_reset"))();
        reinterpret_cast<void (*)(const char *)>(call("fake_d2xx_set_devices"))("FT12345");
        const auto unplug = reinterpret_cast<void (*)(const char *)>(call("fake_d2xx_unplug"));
        const auto plug = reinterpret_cast<void (*)(const char *)>(call("fake_d2xx_plug"));
        const auto received = reinterpret_cast<void (*)(const char *, int)>(call("fake_d2xx_set_received"));
        const auto log = reinterpret_cast<const char *(*)()>(call("fake_d2xx_log"));

        D2xxDriver driver(QStringLiteral(FAKE_D2XX_32));
        QVERIFY(driver.isLoaded());
        qint64 now = 0;
        BoardSession session(driver, [&now] { return now; });
        EventRecorder frontEnd(session);
        session.scanDevices();
        session.selectDevice(0);
        session.makePinOutput(9);
        session.setPinMonitored(1, true);
        QCOMPARE(session.handle(), std::intptr_t(0x1000));
        received("pin 1 1\n", 8);
        session.poll();
        QCOMPARE(frontEnd.pinLevels[1], true);

        unplug("FT12345");
        for (int i = 0; i < 25; ++i, now += 100)
            session.poll();
        plug("FT12345");
        const QByteArray before = log();
        for (int i = 0; i < 12; ++i, now += 100)
            session.poll();
        const QByteArray after = QByteArray(log()).mid(before.size());

        QCOMPARE(frontEnd.log.count(QStringLiteral("Device lost : FT12345")), 1);
        QCOMPARE(frontEnd.log.count(QStringLiteral("Device selected : FT12345")), 2);
        // The dead handle is closed, a new one opened, and the board put back on the new handle.
        QVERIFY2(after.contains("FT_W32_CloseHandle(0x1000)\nFT_W32_CreateFile(\"FT12345\""), after.constData());
        QCOMPARE(session.handle(), std::intptr_t(0x1100));
        QVERIFY2(after.contains("FT_W32_WriteFile(0x1100, [112 105 110 32 32 57 32 99 108 101 97 114 13 10]"),
                 after.constData()); // "pin  9 clear" CR LF
        QVERIFY(after.contains("FT_W32_WriteFile(0x1100, [112 105 110 32 32 49 32 109 111 110 105 116 111 114 32 "
                               "111 110 10]")); // "pin  1 monitor on" LF
        QCOMPARE(after.count("FT_W32_CreateFile"), 1);

        // Lines are handled as before the loss.
        received("pin 1 0\nhello\n", 14);
        session.poll();
        QCOMPARE(frontEnd.pinLevels[1], false);
        QCOMPARE(frontEnd.log.mid(frontEnd.log.size() - 4),
                 QStringList({"received : pin 1 0", "", "received : hello", ""}));
    }
};

QTEST_GUILESS_MAIN(TestReconnection)
#include "tst_reconnection.moc"
