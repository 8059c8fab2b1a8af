#include "session/poller.h"
#include "session_rig.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace std::chrono_literals;

// The poll and its leases: polled while any lease lives, at the shortest interval asked, and every place where
// readings stop told once as a gap, with its reason.
class TestPoller : public QObject
{
    Q_OBJECT

    // Every gap the session told: "reason|detail|channel|board".
    struct Gaps {
        explicit Gaps(BoardSession &session)
            : subscription(session.events().subscribe(
                  [this](const SessionEvent &event) {
                      told.append(QStringLiteral("%1|%2|%3|%4")
                                      .arg(event.text, event.detail)
                                      .arg(event.index)
                                      .arg(event.source->serial()));
                  },
                  eventKinds({SessionEvent::Kind::Gap})))
        {}
        QStringList told;
        EventStream::Subscription subscription;
    };

private Q_SLOTS:
    void pollsWhileAnyLeaseLivesAtTheShortestInterval()
    {
        SessionRig rig;
        rig.selectAndForget();
        Poller &poller = rig.session.poller();
        QVERIFY(!poller.isActive());
        PollLease slow = rig.session.wantPolling(50ms, QStringLiteral("slow"));
        QVERIFY(poller.isActive());
        QCOMPARE(poller.interval(), 50);
        PollLease fast = rig.session.wantPolling(5ms, QStringLiteral("fast"));
        QCOMPARE(poller.interval(), 5);
        QCOMPARE(poller.holders(), QStringList({"slow", "fast"}));
        QSignalSpy polled(&poller, &Poller::polled);
        QTRY_VERIFY(polled.count() >= 3);
        QCOMPARE(rig.driver.count(DriverCall::Status), polled.count());

        // Each client drops its own claim only.
        fast.reset();
        QVERIFY(poller.isActive());
        QCOMPARE(poller.interval(), 50);
        PollLease moved = std::move(slow);
        QVERIFY(!slow.isActive() && moved.isActive());
        moved.reset();
        QVERIFY(!poller.isActive());
        const int statuses = rig.driver.count(DriverCall::Status);
        QTest::qWait(60);
        QCOMPARE(rig.driver.count(DriverCall::Status), statuses);

        // A lease may outlive its session.
        PollLease orphan;
        {
            RecordingDriver driver;
            BoardSession session(driver);
            orphan = session.wantPolling(10ms, QStringLiteral("orphan"));
        }
        QVERIFY(!orphan.isActive());
        orphan.reset();
    }

    void aGapIsToldOnceWhereReadingsStop_data()
    {
        using Action = std::function<void(SessionRig &, PollLease &)>;
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("gap");

        QTest::newRow("board lost") << QList<int>{1} << Action([](SessionRig &rig, PollLease &) {
            rig.driver.failStatus = true;
            rig.poll();
            rig.poll();
        }) << "board lost||0|A1B2";
        QTest::newRow("requests off") << QList<int>{1} << Action([](SessionRig &rig, PollLease &) {
            rig.session.setAnalogRequestsOn(false);
            rig.session.forgetTickedChannels();
        }) << "requests off||0|A1B2";
        QTest::newRow("last channel unticked")
            << QList<int>{3} << Action([](SessionRig &rig, PollLease &) { rig.session.setChannelTicked(3, false); })
            << "no channel ticked||0|A1B2";
        QTest::newRow("one of two unticked")
            << QList<int>{1, 3} << Action([](SessionRig &rig, PollLease &) { rig.session.setChannelTicked(3, false); })
            << "channel unticked||3|A1B2";
        QTest::newRow("polling ended") << QList<int>{1} << Action([](SessionRig &, PollLease &lease) { lease.reset(); })
                                       << "polling stopped|test|0|A1B2";
        QTest::newRow("another board chosen")
            << QList<int>{1} << Action([](SessionRig &rig, PollLease &) { rig.session.selectDevice(1); })
            << "no board open|another board chosen|0|A1B2";
        // The close is its own record: no gap beside it.
        QTest::newRow("closed") << QList<int>{1} << Action([](SessionRig &rig, PollLease &) {
            rig.session.closeDevice();
            rig.session.setAnalogRequestsOn(false);
        }) << "";
        QTest::newRow("poll stalled") << QList<int>{1} << Action([](SessionRig &rig, PollLease &) {
            rig.pollAfter(100);
            rig.pollAfter(100 + BoardSession::kStallMs + 1);
            rig.pollAfter(100);
        }) << "poll stalled|1101 ms without a poll|0|A1B2";
    }

    void aGapIsToldOnceWhereReadingsStop()
    {
        QFETCH(QList<int>, ticked);
        QFETCH(std::function<void(SessionRig &, PollLease &)>, action);
        QFETCH(QString, gap);
        SessionRig rig({"A1B2", "ZB99"});
        rig.selectAndForget();
        Gaps gaps(rig.session);
        // Nothing flows yet: no gap to tell.
        rig.tick(true, ticked);
        QVERIFY(rig.session.readingsGap().has_value());
        PollLease lease = rig.session.wantPolling(100ms, QStringLiteral("test"));
        QVERIFY(!rig.session.readingsGap().has_value());
        QVERIFY(gaps.told.isEmpty());
        action(rig, lease);
        QCOMPARE(gaps.told, gap.isEmpty() ? QStringList() : QStringList{gap});
    }

    void aFirstPollAfterASelectionIsNoStall()
    {
        SessionRig rig({"A1B2"});
        Gaps gaps(rig.session);
        PollLease lease = rig.session.wantPolling(100ms, QStringLiteral("test"));
        rig.tick(true, {1});
        for (int i = 0; i < 30; ++i)
            rig.pollAfter(100); // polled, with no board yet
        rig.session.scanDevices();
        rig.session.selectDevice(0);
        rig.pollAfter(100);
        QVERIFY2(gaps.told.isEmpty(), qPrintable(gaps.told.join(u',')));
    }

    void readingsThatComeBackMayStopAgain()
    {
        SessionRig rig({"A1B2"});
        rig.selectAndForget();
        Gaps gaps(rig.session);
        PollLease lease = rig.session.wantPolling(100ms, QStringLiteral("test"));
        rig.tick(true, {2});
        rig.session.setAnalogRequestsOn(false);
        rig.session.setAnalogRequestsOn(true);
        rig.session.setAnalogRequestsOn(false);
        QCOMPARE(gaps.told, QStringList({"requests off||0|A1B2", "requests off||0|A1B2"}));
    }
};

QTEST_GUILESS_MAIN(TestPoller)
#include "tst_poller.moc"
