#include "device/report.h"
#include "session_rig.h"

#include <QTest>

// The board session on its own: selection, sending, the poll and the report interpreter, through the recording
// driver and front end.
class TestBoardSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Selection

    void scanListsInDriverOrderAndOpensNothing()
    {
        SessionRig rig({"ZB99", "A1B2"});
        QCOMPARE(rig.session.scanDevices(), QStringList({"ZB99", "A1B2"}));
        rig.driver.failPositions = {0};
        QCOMPARE(rig.session.scanDevices(), QStringList({"", "A1B2"}));
        rig.driver.failCount = true;
        QCOMPARE(rig.session.scanDevices(), QStringList());
        QCOMPARE(rig.driver.count(DriverCall::Create), 0);
        QVERIFY(rig.seen.log.isEmpty());
        QCOMPARE(rig.session.handle(), std::intptr_t(0));
    }

    void selectionAsksTheDriverAgainOpensLogsAndShows()
    {
        SessionRig rig({"ZB99", "A1B2"});
        rig.session.scanDevices();
        rig.driver.clearCalls();
        QCOMPARE(rig.session.selectDevice(1), QStringLiteral("A1B2"));
        QCOMPARE(rig.session.handle(), std::intptr_t(100));
        QCOMPARE(rig.seen.log, QStringList{"Device selected : A1B2"});
        QCOMPARE(rig.seen.status, QStringLiteral("Device selected : A1B2"));
        QCOMPARE(rig.driver.calls.size(), size_t(2));
        QCOMPARE(rig.driver.calls[0].kind, DriverCall::Serial);
        QCOMPARE(rig.driver.calls[0].position, 1);
        QCOMPARE(rig.driver.calls[1].bytes, QByteArray("A1B2"));

        // The same board again: closed, then opened anew.
        rig.session.selectDevice(1);
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(rig.session.handle(), std::intptr_t(101));
        QCOMPARE(rig.seen.log.size(), 2);
    }

    void aFailedOpenIsStoredSaidAndNeverClosed()
    {
        SessionRig rig({"A1B2"});
        rig.driver.unopenable = {QStringLiteral("A1B2")};
        rig.session.selectDevice(0);
        QCOMPARE(rig.session.handle(), kInvalidHandle);
        // The selection line as always, then what became of it.
        QCOMPARE(rig.seen.log, QStringList({"Device selected : A1B2", "Device could not be opened : A1B2"}));
        QCOMPARE(rig.seen.events, QStringList({"status Device selected : A1B2", "status Device not opened : A1B2"}));
        rig.driver.openFailure = QStringLiteral("no permission to open /dev/ttyUSB0");
        rig.seen.clear();
        rig.session.selectDevice(0);
        QCOMPARE(rig.seen.log.last(),
                 QStringLiteral("Device could not be opened : A1B2 - no permission to open /dev/ttyUSB0"));
        rig.session.closeDevice();
        QVERIFY(rig.driver.closes().isEmpty());
    }

    void closingAtExitClosesOnlyAnOpenBoard()
    {
        SessionRig rig;
        rig.session.closeDevice();
        QCOMPARE(rig.driver.count(DriverCall::Close), 0);
        rig.session.selectDevice(0);
        rig.session.closeDevice();
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(rig.session.handle(), std::intptr_t(100)); // kept, as the handle always is
    }

    void sendingGoesToTheHandleHeldNow()
    {
        SessionRig rig;
        rig.session.send(identityCommand());
        QCOMPARE(rig.driver.calls.back().handle, std::intptr_t(0));
        rig.selectAndForget();
        rig.session.makePinInput(3);
        QCOMPARE(rig.driver.writes(), QList<QByteArray>{"pin  3 input\r\n"});
        QCOMPARE(rig.driver.calls.back().handle, std::intptr_t(100));
        QCOMPARE(rig.seen.log, QStringList{"pin  3 input"});
    }

    void aCommandThatGoesNowhereSaysSo_data()
    {
        QTest::addColumn<QString>("board");
        QTest::newRow("none chosen") << "none";
        QTest::newRow("failed open") << "failed";
        QTest::newRow("lost") << "lost";
        QTest::newRow("open") << "open";
    }

    void aCommandThatGoesNowhereSaysSo()
    {
        QFETCH(QString, board);
        SessionRig rig;
        if (board == u"failed")
            rig.driver.unopenable = {QStringLiteral("A1B2")};
        if (board != u"none")
            rig.selectAndForget();
        if (board == u"lost") {
            rig.driver.failStatus = true;
            rig.poll();
            rig.forget();
        }
        rig.seen.status.clear();
        rig.session.sendTyped(u"id");
        rig.session.send(ledCommand(true));
        // The log says what was done, as always; the status line says it went nowhere.
        QCOMPARE(rig.seen.log, QStringList{">id"});
        QCOMPARE(rig.seen.status, board == u"open" ? QString() : QStringLiteral("Not sent : no board open"));
        QCOMPARE(rig.driver.count(DriverCall::Write), 2);
    }

    void charactersWithoutAByteAreSaidOncePerSend()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.session.sendTyped(QStringLiteral("caf\u00E9 \u2192 \U0001F600"));
        QCOMPARE(rig.driver.writes(), QList<QByteArray>{"caf\xE9 ? ?\r\n"});
        QCOMPARE(rig.seen.log, QStringList({QStringLiteral(">caf\u00E9 \u2192 \U0001F600"),
                                            "Not sent as typed : 2 characters outside the board's character set"}));
    }

    // The poll

    void noBoardMeansNoDriverCallAtAll()
    {
        SessionRig rig;
        rig.tick(true, {1});
        rig.poll("pin 3 1\n");
        QVERIFY(rig.driver.calls.empty());
        QVERIFY(rig.seen.events.isEmpty());
    }

    void analogRequests_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QStringList>("blanked");
        QTest::newRow("none ticked: no write, every meter blanked")
            << true << QList<int>{} << QList<QByteArray>{}
            << QStringList{"blank 1", "blank 2", "blank 3", "blank 4", "blank 5", "blank 6", "blank 7", "blank 8"};
        QTest::newRow("8 and 2 ticked: one write, ascending")
            << true << QList<int>{8, 2} << QList<QByteArray>{"adc  2\nadc  8\n"}
            << QStringList{"blank 1", "blank 3", "blank 4", "blank 5", "blank 6", "blank 7"};
        QTest::newRow("1 and 3 ticked: 14 bytes")
            << true << QList<int>{1, 3} << QList<QByteArray>{"adc  1\nadc  3\n"}
            << QStringList{"blank 2", "blank 4", "blank 5", "blank 6", "blank 7", "blank 8"};
        QTest::newRow("window not shown: left alone") << false << QList<int>{1} << QList<QByteArray>{} << QStringList{};
    }

    void analogRequests()
    {
        QFETCH(bool, shown);
        QFETCH(QList<int>, ticked);
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QStringList, blanked);
        SessionRig rig;
        rig.selectAndForget();
        rig.tick(shown, ticked);
        rig.poll();
        QCOMPARE(rig.driver.writes(), writes);
        QCOMPARE(rig.seen.events, blanked);
        // The requests go out before the queue is asked about.
        QCOMPARE(rig.driver.calls.back().kind, DriverCall::Status);
        if (!writes.isEmpty())
            QCOMPARE(rig.driver.calls.front().kind, DriverCall::Write);
    }

    void crLfInOneReadIsOneReport()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.poll("pin 3 1\r\n");
        QCOMPARE(rig.seen.logText(), QStringLiteral("received : pin 3 1\r\n\r\n"));
        QCOMPARE(rig.seen.events, QStringList({"pin 3 high", "line pin 3 1"}));
        QCOMPARE(rig.driver.calls.back().kind, DriverCall::Read);
        QCOMPARE(rig.driver.calls.back().size, 9u);
    }

    void lineSplitAcrossPolls()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.poll("adc 2 1");
        QVERIFY(rig.seen.log.isEmpty());
        QCOMPARE(rig.session.pendingLine, QStringLiteral("adc 2 1"));
        rig.poll("00\n");
        QCOMPARE(rig.seen.logText(), QStringLiteral("received : adc 2 100\r\n\r\n"));
        QCOMPARE(rig.seen.readings[2], 100);
    }

    void loneByteIsNotedThenHandled()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.poll("\n");
        rig.poll("A");
        rig.poll(QByteArray(1, '\xE9'));
        QCOMPARE(rig.seen.log, QStringList({"byte : 10", "byte : 65", "byte : 233"}));
        QCOMPARE(rig.session.pendingLine, QStringLiteral("A\u00E9"));
    }

    void reports_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("logged");
        const QStringList none;
        QTest::newRow("pin low") << QByteArray("pin 5 0") << QList<int>{} << QStringList{"pin 5 low"} << true;
        QTest::newRow("pin 2 is high") << QByteArray("pin 5 2") << QList<int>{} << QStringList{"pin 5 high"} << true;
        QTest::newRow("pin -1 is high") << QByteArray("pin 5 -1") << QList<int>{} << QStringList{"pin 5 high"} << true;
        QTest::newRow("pin 0.5 rounds low")
            << QByteArray("pin 5 0.5") << QList<int>{} << QStringList{"pin 5 low"} << true;
        QTest::newRow("pin 1.5 rounds high")
            << QByteArray("pin 5 1.5") << QList<int>{} << QStringList{"pin 5 high"} << true;
        QTest::newRow("pin high word reads 0")
            << QByteArray("pin 5 high") << QList<int>{} << QStringList{"pin 5 low"} << true;
        QTest::newRow("PIN is not a keyword") << QByteArray("PIN 5 1") << QList<int>{} << none << true;
        QTest::newRow("leading blank") << QByteArray(" pin 5 1") << QList<int>{} << none << true;
        QTest::newRow("state beyond 32 bits") << QByteArray("pin 5 1e99") << QList<int>{} << none << true;
        QTest::newRow("pin 19") << QByteArray("pin 19 1") << QList<int>{} << none << true;
        QTest::newRow("pin 0") << QByteArray("pin 0 1") << QList<int>{} << none << true;
        QTest::newRow("pin too short") << QByteArray("pin 5") << QList<int>{} << none << true;
        QTest::newRow("ticked reading consumed")
            << QByteArray("adc 3 200") << QList<int>{3} << QStringList{"adc 3 200"} << false;
        QTest::newRow("unticked reading logged")
            << QByteArray("adc 3 200") << QList<int>{} << QStringList{"adc 3 200"} << true;
        QTest::newRow("trailing text") << QByteArray("adc 3 12xyz") << QList<int>{3} << QStringList{"adc 3 12"}
                                       << false;
        QTest::newRow("reading above the meter")
            << QByteArray("adc 3 300") << QList<int>{3} << QStringList{"adc 3 300"} << false;
        QTest::newRow("negative reading")
            << QByteArray("adc 3 -9") << QList<int>{3} << QStringList{"adc 3 -9"} << false;
        QTest::newRow("reading beyond 32 bits") << QByteArray("adc 3 99999999999") << QList<int>{3} << none << true;
        QTest::newRow("channel 9") << QByteArray("adc 9 5") << QList<int>{} << none << true;
        QTest::newRow("adc alone") << QByteArray("adc") << QList<int>{} << none << true;
        QTest::newRow("debounce") << QByteArray("debounce 4 count reset 17") << QList<int>{} << none << true;
        QTest::newRow("anything else") << QByteArray("ok led on") << QList<int>{} << none << true;
    }

    void reports()
    {
        QFETCH(QByteArray, line);
        QFETCH(QList<int>, ticked);
        QFETCH(QStringList, events);
        QFETCH(bool, logged);
        SessionRig rig;
        rig.selectAndForget();
        rig.tick(false, ticked);
        rig.poll(line + "\n");
        const QString text = QString::fromLatin1(line);
        if (logged) {
            events.append(QStringLiteral("line ") + text);
            QCOMPARE(rig.seen.logText(), QStringLiteral("received : ") + text + QStringLiteral("\r\n\r\n"));
        } else {
            QVERIFY(rig.seen.log.isEmpty());
        }
        QCOMPARE(rig.seen.events, events);
        QCOMPARE(rig.session.pendingLine, QString());
    }

    void outputPinsKeepTheirColour()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.session.makePinOutput(5);
        rig.forget();
        rig.poll("pin 5 1\n");
        QCOMPARE(rig.seen.events, QStringList{"line pin 5 1"});
        QCOMPARE(rig.seen.logText(), QStringLiteral("received : pin 5 1\r\n\r\n"));
    }

    void theLineAfterADebounceIsHandled()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.poll("debounce 4 count reset 17\npin 6 1\n");
        QCOMPARE(rig.seen.logText(),
                 QStringLiteral("received : debounce 4 count reset 17\r\n\r\nreceived : pin 6 1\r\n\r\n"));
        QCOMPARE(rig.seen.pinLevels[6], true);
    }

    void endlessLineIsHandedOnInPieces()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.poll(QByteArray(70000, 'x') + "\n");
        const QString x = QStringLiteral("received : ");
        QCOMPARE(rig.seen.log,
                 QStringList({x + QString(65536, u'x'), QString(), x + QString(70000 - 65536, u'x'), QString()}));
    }

    void readsAreBoundedAndClaimsNotBelieved()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.driver.statusOverride = 0x7FFFFFFF;
        rig.driver.readClaims = 1 << 30;
        rig.poll("pin 2 1\n");
        QCOMPARE(rig.driver.calls.back().size, BoardSession::kFirstReadCap);
        // Only the bytes asked for are looked at; beyond the real eight they are zero bytes.
        QCOMPARE(rig.seen.log.first(), QStringLiteral("received : pin 2 1"));
        QCOMPARE(rig.seen.pinLevels[2], true);
    }

    void theReadCapFollowsWhatHandlingCosts()
    {
        SessionRig flood;
        flood.selectAndForget();
        flood.driver.queue(QByteArray("pin 3 1\n").repeated(512 * 1024)); // 4 MiB waiting
        flood.session.poll();
        QCOMPARE(flood.driver.calls.back().size, BoardSession::kFirstReadCap);
        const std::uint32_t cap = flood.session.readCap();
        QVERIFY(cap >= BoardSession::kMinReadCap && cap <= BoardSession::kMaxReadCap);
        flood.session.poll();
        QCOMPARE(flood.driver.calls.back().size, cap);

        // A trickle tells nothing about a flood: the cap stays.
        SessionRig trickle;
        trickle.selectAndForget();
        for (int i = 0; i < 5; ++i)
            trickle.poll("ok\n");
        QCOMPARE(trickle.session.readCap(), BoardSession::kFirstReadCap);
    }
};

QTEST_GUILESS_MAIN(TestBoardSession)
#include "tst_board_session.moc"
