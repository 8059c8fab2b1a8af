#include "session_rig.h"

#include <QSignalSpy>
#include <QTest>

// The one stream of events: stamped once where they happen, handed to every subscriber in one order, whatever
// the subscribers do while they are handed an event.
class TestEventStream : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everySubscriberSeesTheSameEventsInOrder()
    {
        SessionRig rig;
        rig.selectAndForget();
        rig.tick(true, {2});
        rig.forget();
        rig.now = 40;
        EventRecorder second(rig.session);
        rig.poll("adc 2 7\nhello\n");
        // The read's bytes come before what is made of them.
        const QList<SessionEvent::Kind> expected{SessionEvent::Kind::AnalogPoll,    SessionEvent::Kind::CommandSent,
                                                 SessionEvent::Kind::BytesReceived, SessionEvent::Kind::Reading,
                                                 SessionEvent::Kind::LineReceived,  SessionEvent::Kind::LineReceived,
                                                 SessionEvent::Kind::LogLine,       SessionEvent::Kind::LogLine};
        QCOMPARE(rig.seen.kinds, expected);
        QCOMPARE(second.kinds, expected);
        // Every event of the read carries the one time of the read, on both clocks.
        for (const EventStamp &stamp : std::as_const(second.stamps)) {
            QCOMPARE(stamp.monoMs, 40);
            QCOMPARE(stamp.wallMs, 1'700'000'000'040);
        }
    }

    void whatSubscribersDoWhileAnEventIsHandedOut()
    {
        SessionRig rig;
        QStringList order;
        EventStream::Subscription late;
        EventStream::Subscription leaving;
        // The first subscriber sends a command in reply to a line, and subscribes a newcomer.
        const EventStream::Subscription replying = rig.session.events().subscribe([&](const SessionEvent &event) {
            order.append(QStringLiteral("first %1").arg(int(event.kind)));
            if (event.kind == SessionEvent::Kind::LineReceived) {
                rig.session.send(identityCommand());
                late = rig.session.events().subscribe(
                    [&](const SessionEvent &seen) { order.append(QStringLiteral("late %1").arg(int(seen.kind))); });
                leaving.reset();
            }
        });
        leaving = rig.session.events().subscribe(
            [&](const SessionEvent &event) { order.append(QStringLiteral("leaving %1").arg(int(event.kind))); });
        rig.session.scanDevices();
        rig.session.selectDevice(0);
        order.clear();
        rig.poll("x\n");
        const int line = int(SessionEvent::Kind::LineReceived);
        const int sent = int(SessionEvent::Kind::CommandSent);
        const int log = int(SessionEvent::Kind::LogLine);
        const int bytes = int(SessionEvent::Kind::BytesReceived);
        QCOMPARE(order.mid(0, 2),
                 QStringList({QStringLiteral("first %1").arg(bytes), QStringLiteral("leaving %1").arg(bytes)}));
        // The command sent in reply waits until the line has reached everyone: the newcomer included, the one
        // that left excluded from then on.
        QCOMPARE(order.mid(2, 4),
                 QStringList({QStringLiteral("first %1").arg(line), QStringLiteral("late %1").arg(line),
                              QStringLiteral("first %1").arg(sent), QStringLiteral("late %1").arg(sent)}));
        QCOMPARE(order.mid(6), QStringList({QStringLiteral("first %1").arg(log), QStringLiteral("late %1").arg(log),
                                            QStringLiteral("first %1").arg(log), QStringLiteral("late %1").arg(log)}));
        QCOMPARE(rig.session.events().subscriberCount(), 3); // the rig's recorder, first and late
    }

    void aSubscriptionMayOutliveItsSession()
    {
        EventStream::Subscription kept;
        {
            RecordingDriver driver;
            BoardSession session(driver);
            kept = session.events().subscribe([](const SessionEvent &) {});
            QVERIFY(kept.isActive());
        }
        QVERIFY(!kept.isActive());
        kept.reset();
    }
};

QTEST_GUILESS_MAIN(TestEventStream)
#include "tst_event_stream.moc"
