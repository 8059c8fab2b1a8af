#include "records/trend_history.h"

#include <QTest>

// The readings' history: statistics over a span, the ring, and the reduction to pixel columns.
class TestTrendHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statisticsOverTheSpan()
    {
        TrendHistory history;
        for (int i = 0; i < 10; ++i)
            history.append(3, 1000 + 100 * i, 10 * i); // 0, 10, ... 90 at 1000 ... 1900 ms
        // Both edges belong to the span.
        const auto stats = history.statistics(3, 1200, 1500);
        QVERIFY(stats);
        QCOMPARE(stats->count, 4);
        QCOMPARE(stats->min, 20);
        QCOMPARE(stats->max, 50);
        QCOMPARE(stats->last, 50);
        QCOMPARE(stats->mean, 35.0);
        QVERIFY(!history.statistics(3, 2000, 9000));
        QVERIFY(!history.statistics(4, 0, 9000));
        // Readings outside the meters' range count as read.
        history.append(3, 2000, 300);
        history.append(3, 2100, -5);
        QCOMPARE(history.statistics(3, 2000, 2100)->max, 300);
        QCOMPARE(history.statistics(3, 2000, 2100)->min, -5);
    }

    void whatCursorsAndLimitsAsk()
    {
        TrendHistory history;
        for (int i = 0; i < 10; ++i)
            history.append(3, 1000 + 100 * i, 10 * i); // 0 ... 90 at 1000 ... 1900 ms
        history.append(5, 1250, 7);
        // The value at a moment is the last reading at or before it.
        QVERIFY(!history.readingAtOrBefore(3, 999));
        QCOMPARE(history.readingAtOrBefore(3, 1000)->value, 0);
        QCOMPARE(history.readingAtOrBefore(3, 1299)->value, 20);
        QCOMPARE(history.readingAtOrBefore(3, 5000)->value, 90);
        // One reading on, across the channels asked about.
        QCOMPARE(history.neighbourTime({3, 5}, 1200, true), 1250);
        QCOMPARE(history.neighbourTime({3, 5}, 1250, true), 1300);
        QCOMPARE(history.neighbourTime({3}, 1250, false), 1200);
        QVERIFY(!history.neighbourTime({3}, 1900, true));
        QVERIFY(!history.neighbourTime({3}, 1000, false));
        // Outside counts readings below the low limit or above the high one, within the range.
        QCOMPARE(history.countOutside(3, 1000, 1900, 25, 65), 3 + 3);
        QCOMPARE(history.countOutside(3, 1500, 1900, std::nullopt, 65), 3);
        QCOMPARE(history.countOutside(3, 1000, 1900, std::nullopt, std::nullopt), 0);
        QCOMPARE(history.readings(3, 1150, 1350).size(), std::size_t(2));
        // A gap is found only within the range asked about.
        history.markGap(1450);
        QVERIFY(history.hasGapBetween(1400, 1450));
        QVERIFY(!history.hasGapBetween(1450, 1900));
        QVERIFY(!history.hasGapBetween(1000, 1400));
    }

    void theRingDropsTheOldestFirst()
    {
        TrendHistory history;
        const qsizetype total = TrendHistory::kCapacity + 250;
        for (qsizetype i = 0; i < total; ++i)
            history.append(1, i * 100, std::int32_t(i % 256));
        QCOMPARE(history.size(1), TrendHistory::kCapacity);
        QCOMPARE(history.at(1, 0).ms, 250 * 100);
        QCOMPARE(history.at(1, TrendHistory::kCapacity - 1).ms, (total - 1) * 100);
        // A span across the place where the ring wraps.
        const auto stats = history.statistics(1, (total - 300) * 100, (total - 1) * 100);
        QCOMPARE(stats->count, 300);
        QCOMPARE(stats->last, std::int32_t((total - 1) % 256));
        QVERIFY(!history.statistics(1, 0, 249 * 100)); // dropped
        history.clear();
        QCOMPARE(history.size(1), 0);
    }

    void columnsKeepEachColumnsLowestAndHighest()
    {
        TrendHistory history;
        // Ten readings per column of 100 ms, the column's extremes somewhere in the middle.
        for (int i = 0; i < 100; ++i) {
            const int column = i / 10;
            const int value = i % 10 == 4 ? 200 + column : (i % 10 == 7 ? 10 + column : 100);
            history.append(2, i * 10, value);
        }
        history.append(2, 5000, 999); // beyond the window
        const std::vector<TrendHistory::Column> columns = history.columns(2, 0, 1000, 10);
        QCOMPARE(columns.size(), size_t(10));
        for (int c = 0; c < 10; ++c) {
            QVERIFY(columns[std::size_t(c)].valid);
            QCOMPARE(columns[std::size_t(c)].min, 10 + c);
            QCOMPARE(columns[std::size_t(c)].max, 200 + c);
        }
        // Held within the meters' range; empty slices are not valid.
        history.append(2, 6000, 400);
        history.append(2, 6001, -3);
        const auto held = history.columns(2, 5500, 6500, 4);
        QVERIFY(!held[0].valid && !held[1].valid && !held[3].valid);
        QCOMPARE(held[2].min, 0);
        QCOMPARE(held[2].max, 255);
    }
};

QTEST_GUILESS_MAIN(TestTrendHistory)
#include "tst_trend_history.moc"
