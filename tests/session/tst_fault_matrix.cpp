#include "session_rig.h"

#include <QTest>

// Each driver call failing in turn, and drivers that misreport: the session keeps running, its state stays
// consistent and nothing received is silently dropped.
class TestFaultMatrix : public QObject
{
    Q_OBJECT

private:
    // The log after the selection line.
    static QString logAfterSelection(const SessionRig &rig) { return rig.seen.logText(); }

private Q_SLOTS:
    void failingCountStillOpensWhatPositionZeroIsNow()
    {
        SessionRig rig;
        rig.driver.failCount = true;
        QCOMPARE(rig.session.scanDevices(), QStringList());
        rig.session.selectDevice(0);
        QCOMPARE(rig.session.handle(), std::intptr_t(100));
    }

    void failingPositionOpensTheEmptyName()
    {
        SessionRig rig;
        rig.driver.failPositions = {0};
        rig.session.selectDevice(0);
        QCOMPARE(rig.session.handle(), kInvalidHandle);
        QCOMPARE(rig.seen.log.first(), QStringLiteral("Device selected : "));
        QCOMPARE(rig.driver.calls.back().bytes, QByteArray(""));
    }

    void failingOpenStillPolls()
    {
        SessionRig rig;
        rig.driver.unopenable = {QStringLiteral("A1B2")};
        rig.selectAndForget();
        rig.tick(true, {1});
        rig.session.poll();
        QCOMPARE(rig.driver.calls[0].kind, DriverCall::Write);
        QCOMPARE(rig.driver.calls[0].handle, kInvalidHandle);
        QCOMPARE(rig.driver.count(DriverCall::Status), 1);
    }

    void failingCloseStillMovesToTheNewBoard()
    {
        SessionRig rig({"A1B2", "C3D4"});
        rig.session.selectDevice(0);
        rig.driver.failClose = true;
        rig.session.selectDevice(1);
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(rig.session.handle(), std::intptr_t(101));
        QCOMPARE(rig.seen.status, QStringLiteral("Device selected : C3D4"));
        rig.session.closeDevice();
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>({100, 101}));
    }

    void failingStatusOrReadLosesNothing()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.driver.queue("x");
        rig.driver.failStatus = true;
        rig.session.poll();
        QCOMPARE(rig.driver.count(DriverCall::Read), 0);
        rig.driver.failStatus = false;
        rig.driver.failRead = true;
        rig.session.poll();
        QCOMPARE(logAfterSelection(rig), QStringLiteral("Device lost : A1B2\r\n")); // not even the lone-byte note
        // The board is still listed: a second later it is opened again, and what it held is read then.
        rig.driver.failRead = false;
        rig.driver.queue("\n");
        rig.pollAfter(1000);
        rig.session.poll();
        rig.session.poll();
        QCOMPARE(logAfterSelection(rig), QStringLiteral("Device lost : A1B2\r\nDevice selected : A1B2\r\n"
                                                        "byte : 120\r\nbyte : 10\r\nreceived : x\r\n\r\n"));
    }

    void shortReadsDeliverEverythingInOrder()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.driver.queue("pin 1 1\r\nok led on\r\npin 1 0\r\n");
        rig.driver.readLimit = 3;
        for (int i = 0; i < 20; ++i)
            rig.session.poll();
        QCOMPARE(logAfterSelection(rig),
                 QStringLiteral("received : pin 1 1\r\n\r\nreceived : ok led on\r\n\r\nreceived : pin 1 0\r\n\r\n"));
        QCOMPARE(rig.seen.pinLevels[1], false);
    }

    void overclaimingReadIsNotBelieved()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.driver.queue("ok\n");
        rig.driver.readClaims = 1000;
        rig.session.poll();
        QCOMPARE(logAfterSelection(rig), QStringLiteral("received : ok\r\n\r\n"));
        QCOMPARE(rig.session.pendingLine, QString());
    }

    void absurdQueueCountIsReadInBoundedSteps()
    {
        SessionRig rig;
        rig.selectAndForget();
        const QByteArray many = QByteArray("okay-okay\n").repeated(60'000); // 600,000 bytes
        rig.driver.queue(many);
        rig.driver.statusOverride = 0x7FFFFFFF;
        rig.session.poll();
        QCOMPARE(rig.driver.calls.back().size, BoardSession::kFirstReadCap);
        for (int i = 0; i < 20 && !rig.driver.chunks.isEmpty(); ++i) {
            rig.session.poll();
            QVERIFY(rig.driver.calls.back().size <= BoardSession::kMaxReadCap);
        }
        QVERIFY(rig.driver.chunks.isEmpty());
        QCOMPARE(rig.seen.log.size(), 2 * 60'000);
    }

    void boardVanishingBetweenStatusAndRead()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.driver.statusOverride = 40; // reported, then gone
        rig.session.poll();
        QCOMPARE(logAfterSelection(rig), QString());
        // A lone byte reported and not delivered is noted as the note always is, from the fresh buffer.
        rig.driver.statusOverride = 1;
        rig.session.poll();
        QCOMPARE(logAfterSelection(rig), QStringLiteral("byte : 0\r\n"));
        QCOMPARE(rig.session.pendingLine, QString());
    }

    void everyCallFailingAtOnce()
    {
        SessionRig rig;
        RecordingDriver &driver = rig.driver;
        driver.failCount = driver.failClose = driver.failWrite = driver.failStatus = driver.failRead = true;
        driver.failPositions = {0};
        driver.unopenable = {QStringLiteral("A1B2")};
        QCOMPARE(rig.session.scanDevices(), QStringList());
        rig.session.selectDevice(0);
        rig.session.send(ledCommand(true));
        rig.session.makePinOutput(9);
        rig.tick(true, {1, 2});
        rig.session.poll();
        rig.session.closeDevice();
        QCOMPARE(rig.session.handle(), kInvalidHandle);
        // Nothing was ever open, so nothing could be lost.
        QCOMPARE(rig.seen.log,
                 QStringList({"Device selected : ", "Device could not be opened : ", "pin  9 clear", "pin  9 output"}));
    }
};

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_fault_matrix.moc"
