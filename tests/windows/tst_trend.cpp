#include "windows/trend/trend_plot.h"

#include <QTest>

// The trend plot's arithmetic that needs no window.
class TestTrend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeLabels()
    {
        QCOMPARE(trendTimeLabel(0), QStringLiteral("now"));
        QCOMPARE(trendTimeLabel(10'000), QStringLiteral("-10 s"));
        QCOMPARE(trendTimeLabel(1'667), QStringLiteral("-1.67 s"));
        QCOMPARE(trendTimeLabel(600'000), QStringLiteral("-10 min"));
    }

    // Ticks stand on round steps, counted back from now, whatever the span after a zoom.
    void ticksAreRound_data()
    {
        QTest::addColumn<qint64>("startMs");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<QStringList>("labels");
        const qint64 now = 1'000'000;
        QTest::newRow("a minute") << now - 60'000 << now
                                  << QStringList{"-60 s", "-50 s", "-40 s", "-30 s", "-20 s", "-10 s", "now"};
        QTest::newRow("paused 6 s ago") << now - 66'750 << now - 6'750
                                        << QStringList{"-60 s", "-50 s", "-40 s", "-30 s", "-20 s", "-10 s"};
        QTest::newRow("zoomed") << now - 25'340 << now - 3'280
                                << QStringList{"-25 s", "-20 s", "-15 s", "-10 s", "-5 s"};
        QTest::newRow("a second") << now - 1'000 << now
                                  << QStringList{"-1 s", "-0.8 s", "-0.6 s", "-0.4 s", "-0.2 s", "now"};
        QTest::newRow("an hour") << now - 3'600'000 << now << QStringList{"-60 min", "-50 min", "-40 min", "-30 min",
                                                                          "-20 min", "-10 min", "now"};
    }

    void ticksAreRound()
    {
        QFETCH(qint64, startMs);
        QFETCH(qint64, endMs);
        QFETCH(QStringList, labels);
        const qint64 now = 1'000'000;
        QStringList shown;
        for (const qint64 tick : trendTicks(startMs, endMs, now, trendTickStep(endMs - startMs, 6)))
            shown.append(trendTimeLabel(now - tick));
        QCOMPARE(shown, labels);
    }
};

QTEST_MAIN(TestTrend)
#include "tst_trend.moc"
