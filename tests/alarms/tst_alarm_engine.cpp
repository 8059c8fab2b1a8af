#include "alarms/alarm_engine.h"

#include <QTest>

Q_DECLARE_METATYPE(AlarmRule)

// An alarm's life on a table of event sequences: raised once the condition has held for its time, never for a
// shorter excursion, latched until acknowledged, cleared when the condition goes.
class TestAlarmEngine : public QObject
{
    Q_OBJECT

private:
    // Channel 8 as a 5 V supply; "Supply low" below 4.75 V for 500 ms; "Pin 9 low" for 200 ms.
    static AlarmEngine engine(bool latched)
    {
        AlarmEngine made;
        BoardCalibration calibration;
        calibration.channel(8) = ChannelCalibration{QStringLiteral("Supply"), QStringLiteral("V"), 0.025, 0.0, 2};
        made.setCalibration(calibration);
        AlarmRule supply;
        supply.name = QStringLiteral("Supply low");
        supply.channel = 8;
        supply.below = 4.75;
        supply.forMs = 500;
        supply.severity = AlarmSeverity::Critical;
        supply.latched = latched;
        AlarmRule pin;
        pin.name = QStringLiteral("Pin 9 low");
        pin.pin = 9;
        pin.level = false;
        pin.forMs = 200;
        pin.latched = latched;
        made.setRules({supply, pin});
        return made;
    }

    // Steps, each "T:what": "T:200" a reading of channel 8; "T:pin0" / "T:pin1" pin 9's level; "T:poll" a poll;
    // "T:gap" readings stopped; "T:ack" / "T:ackall" the operator. What was told: "T raised NAME" and so on.
    static QStringList run(AlarmEngine &alarms, const QString &steps)
    {
        EventStream stream;
        QStringList told;
        auto subscription = stream.subscribe(
            [&](const SessionEvent &event) {
                const char *what = event.kind == SessionEvent::Kind::AlarmRaised    ? "raised"
                                   : event.kind == SessionEvent::Kind::AlarmCleared ? "cleared"
                                                                                    : "acknowledged";
                told << QStringLiteral("%1 %2 %3").arg(event.stamp.monoMs).arg(what, event.text.toString());
            },
            eventKinds({SessionEvent::Kind::AlarmRaised, SessionEvent::Kind::AlarmAcknowledged,
                        SessionEvent::Kind::AlarmCleared}));
        for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
            const qsizetype colon = step.indexOf(u':');
            SessionEvent event;
            event.stamp = {step.left(colon).toLongLong(), 1000000 + step.left(colon).toLongLong()};
            const QString what = step.mid(colon + 1);
            if (what == u"ack") {
                alarms.acknowledge(QStringLiteral("Supply low"), event.stamp, nullptr, &stream);
                continue;
            }
            if (what == u"ackall") {
                alarms.acknowledgeAll(event.stamp, nullptr, &stream);
                continue;
            }
            if (what.startsWith(u"pin")) {
                event.kind = SessionEvent::Kind::PinLevel;
                event.index = 9;
                event.value = what.mid(3).toInt();
            } else if (what == u"poll") {
                event.kind = SessionEvent::Kind::AnalogPoll;
            } else if (what == u"gap") {
                event.kind = SessionEvent::Kind::Gap;
            } else {
                event.kind = SessionEvent::Kind::Reading;
                event.index = 8;
                event.value = what.toInt();
            }
            alarms.take(event, stream);
        }
        return told;
    }

private Q_SLOTS:
    void sequences_data()
    {
        QTest::addColumn<bool>("latched");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("told");
        // 200 counts = 5.00 V (fine), 50 counts = 1.25 V (low), 190 = 4.75 V (on the limit: fine).
        QTest::newRow("never low") << false << "0:200 100:200 900:200" << QStringList();
        QTest::newRow("on the limit is inside") << false << "0:190 600:190" << QStringList();
        QTest::newRow("shorter excursion") << false << "0:50 400:50 499:200 1200:200" << QStringList();
        QTest::newRow("raised at its time")
            << false << "0:50 499:50 500:50 600:50" << QStringList{"500 raised Supply low"};
        QTest::newRow("cleared when it goes")
            << false << "0:50 500:50 800:200 900:200" << QStringList{"500 raised Supply low", "800 cleared Supply low"};
        QTest::newRow("an excursion restarts the time")
            << false << "0:50 400:200 500:50 900:50 1000:50" << QStringList{"1000 raised Supply low"};
        QTest::newRow("a gap restarts the time")
            << false << "0:50 400:gap 500:50 900:50 1000:50" << QStringList{"1000 raised Supply low"};
        QTest::newRow("latched stays when it goes")
            << true << "0:50 500:50 800:200 2000:200" << QStringList{"500 raised Supply low"};
        QTest::newRow("latched, acknowledged after it went")
            << true << "0:50 500:50 800:200 900:ack 1000:200"
            << QStringList{"500 raised Supply low", "900 acknowledged Supply low", "900 cleared Supply low"};
        QTest::newRow("latched, acknowledged while low")
            << true << "0:50 500:50 600:ack 700:50 800:200"
            << QStringList{"500 raised Supply low", "600 acknowledged Supply low", "800 cleared Supply low"};
        QTest::newRow("acknowledged once") << true << "0:50 500:50 600:ack 650:ack"
                                           << QStringList{"500 raised Supply low", "600 acknowledged Supply low"};
        QTest::newRow("nothing to acknowledge") << true << "0:200 100:ack" << QStringList();
        QTest::newRow("raised again after a clear")
            << false << "0:50 500:50 600:200 700:50 1200:50"
            << QStringList{"500 raised Supply low", "600 cleared Supply low", "1200 raised Supply low"};
        QTest::newRow("pin held: raised by a poll")
            << false << "0:pin0 100:poll 200:poll" << QStringList{"200 raised Pin 9 low"};
        QTest::newRow("pin back in time") << false << "0:pin0 150:pin1 400:poll" << QStringList();
        QTest::newRow("acknowledge all") << true << "0:pin0 0:50 500:50 600:pin1 700:ackall"
                                         << QStringList{"500 raised Supply low", "500 raised Pin 9 low",
                                                        "700 acknowledged Supply low", "700 acknowledged Pin 9 low",
                                                        "700 cleared Pin 9 low"};
    }

    void sequences()
    {
        QFETCH(bool, latched);
        QFETCH(QString, steps);
        QFETCH(QStringList, told);
        AlarmEngine alarms = engine(latched);
        QCOMPARE(run(alarms, steps), told);
    }

    void whatIsToldAndKept()
    {
        AlarmEngine alarms = engine(true);
        run(alarms, QStringLiteral("0:50 500:50"));
        QCOMPARE(alarms.activeCount(), 1);
        const AlarmEngine::Record &raised = alarms.history().back();
        QCOMPARE(raised.detail, QStringLiteral("Supply 1.25 V below 4.75 V for 500 ms"));
        QCOMPARE(raised.severity, AlarmSeverity::Critical);
        QCOMPARE(raised.stamp.wallMs, 1000500);
        // The history keeps the last ones only.
        AlarmEngine busy = engine(false);
        QString steps;
        for (int i = 0; i < 700; ++i)
            steps += QStringLiteral(" %1:50 %2:50 %3:200").arg(i * 1000).arg(i * 1000 + 500).arg(i * 1000 + 600);
        run(busy, steps);
        QCOMPARE(busy.history().size(), AlarmEngine::kHistory);
        QCOMPARE(busy.activeCount(), 0);
        // Rules changed: an alarm whose rule stays as it was stays up; one whose rule changed is cleared, said so.
        EventStream stream;
        std::vector<AlarmRule> rules;
        for (const AlarmEngine::Alarm &alarm : alarms.alarms())
            rules.push_back(alarm.rule);
        AlarmRule added;
        added.name = QStringLiteral("Other");
        added.channel = 2;
        added.above = 3;
        rules.push_back(added);
        alarms.clearChanged(rules, QStringLiteral("its rule changed"), {2000, 2000}, nullptr, &stream);
        alarms.setRules(rules);
        QCOMPARE(alarms.activeCount(), 1);
        QVERIFY(alarms.alarms().front().active);
        rules.front().forMs = 100;
        alarms.clearChanged(rules, QStringLiteral("its rule changed"), {2000, 2000}, nullptr, &stream);
        alarms.setRules(rules);
        QCOMPARE(alarms.activeCount(), 0);
        QCOMPARE(alarms.history().back().kind, SessionEvent::Kind::AlarmCleared);
        QCOMPARE(alarms.history().back().detail, QStringLiteral("its rule changed"));
    }

    void rulesThatCannotBeJudged_data()
    {
        QTest::addColumn<AlarmRule>("rule");
        QTest::addColumn<QString>("problem");
        const auto rule = [](auto change) {
            AlarmRule made;
            made.name = QStringLiteral("r");
            made.channel = 1;
            made.below = 1;
            change(made);
            return made;
        };
        QTest::newRow("no name") << rule([](AlarmRule &r) { r.name.clear(); }) << "no name";
        QTest::newRow("pin 19") << rule([](AlarmRule &r) {
            r = AlarmRule();
            r.name = QStringLiteral("r");
            r.pin = 19;
        }) << "pin 19 does not exist";
        QTest::newRow("both") << rule([](AlarmRule &r) { r.pin = 3; }) << "either a channel or a pin";
        QTest::newRow("no limit") << rule([](AlarmRule &r) { r.below.reset(); }) << "needs a limit";
        QTest::newRow("low above high") << rule([](AlarmRule &r) { r.above = 0.5; }) << "greater than";
        QTest::newRow("not a number") << rule([](AlarmRule &r) { r.below = qQNaN(); }) << "must be a number";
    }

    void rulesThatCannotBeJudged()
    {
        QFETCH(AlarmRule, rule);
        QFETCH(QString, problem);
        const std::optional<QString> said = ruleProblem(rule);
        QVERIFY(said);
        QVERIFY2(said->contains(problem), qPrintable(*said));
    }
};

QTEST_GUILESS_MAIN(TestAlarmEngine)
#include "tst_alarm_engine.moc"
