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
};

QTEST_MAIN(TestTrend)
#include "tst_trend.moc"
