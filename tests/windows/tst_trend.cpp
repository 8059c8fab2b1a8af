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

    // The value axis stands on round values in the unit shown, however the calibration or the zoom falls.
    void valueTicksAreRound_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<QString>("ticks");
        QTest::newRow("counts") << 0.0 << 255.0 << "0 50 100 150 200 250";
        QTest::newRow("volts") << 0.0 << 6.375 << "0 2 4 6";
        QTest::newRow("zoomed volts") << 1.1 << 5.18 << "2 3 4 5";
        QTest::newRow("negative scale") << 6.0 << -0.375 << "0 2 4 6";
        QTest::newRow("fine") << 4.7315 << 4.7625 << "4.74 4.75 4.76";
        QTest::newRow("nothing to show") << 3.0 << 3.0 << "";
    }

    void valueTicksAreRound()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(QString, ticks);
        const TrendValueTicks made = trendValueTicks(from, to, 6);
        QStringList shown;
        for (const double value : made.values)
            shown.append(QString::number(value, 'f', made.decimals));
        QCOMPARE(shown.join(u' '), ticks);
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
