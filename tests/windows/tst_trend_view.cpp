#include "windows/trend/trend_view.h"

#include <QTest>

// The trend view's arithmetic: zooming around a moment, panning, showing a range, the value axis, and pixels.
class TestTrendView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeAxis_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<double>("argument");
        QTest::addColumn<qint64>("anchorOrTo");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<qint64>("spanMs");
        // Starting from [50,000, 110,000]: 60 s ending at 110 s.
        QTest::newRow("zoom in at the end") << "zoom" << 0.5 << qint64(110'000) << qint64(110'000) << qint64(30'000);
        QTest::newRow("zoom in at the start") << "zoom" << 0.5 << qint64(50'000) << qint64(80'000) << qint64(30'000);
        QTest::newRow("zoom in at the middle") << "zoom" << 0.5 << qint64(80'000) << qint64(95'000) << qint64(30'000);
        QTest::newRow("zoom out at the middle")
            << "zoom" << 2.0 << qint64(80'000) << qint64(140'000) << qint64(120'000);
        QTest::newRow("never closer than 100 ms")
            << "zoom" << 1e-9 << qint64(110'000) << qint64(110'000) << qint64(100);
        QTest::newRow("never wider than an hour")
            << "zoom" << 1e9 << qint64(110'000) << qint64(110'000) << qint64(3'600'000);
        QTest::newRow("a zero factor changes nothing")
            << "zoom" << 0.0 << qint64(80'000) << qint64(110'000) << qint64(60'000);
        QTest::newRow("pan later") << "pan" << 5000.0 << qint64(0) << qint64(115'000) << qint64(60'000);
        QTest::newRow("pan earlier") << "pan" << -70000.0 << qint64(0) << qint64(40'000) << qint64(60'000);
        QTest::newRow("range") << "range" << 70'000.0 << qint64(90'000) << qint64(90'000) << qint64(20'000);
        QTest::newRow("range backwards") << "range" << 90'000.0 << qint64(70'000) << qint64(90'000) << qint64(20'000);
        QTest::newRow("range too narrow is centred")
            << "range" << 70'000.0 << qint64(70'010) << qint64(70'055) << qint64(100);
    }

    void timeAxis()
    {
        QFETCH(QString, operation);
        QFETCH(double, argument);
        QFETCH(qint64, anchorOrTo);
        QFETCH(qint64, endMs);
        QFETCH(qint64, spanMs);
        TrendView view{110'000, 60'000};
        if (operation == u"zoom")
            view.zoomTime(argument, anchorOrTo);
        else if (operation == u"pan")
            view.pan(qint64(argument));
        else
            view.showRange(qint64(argument), anchorOrTo);
        QCOMPARE(view.endMs, endMs);
        QCOMPARE(view.spanMs, spanMs);
    }

    void valueAxis_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("anchor");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("in around the middle") << 0.5 << 127.5 << 63.75 << 191.25;
        QTest::newRow("in around the bottom") << 0.5 << 0.0 << 0.0 << 127.5;
        QTest::newRow("in around the top") << 0.5 << 255.0 << 127.5 << 255.0;
        QTest::newRow("never narrower than 4") << 1e-6 << 100.0 << 98.43137254901961 << 102.43137254901961;
        QTest::newRow("never beyond 0..255") << 4.0 << 10.0 << 0.0 << 255.0;
    }

    void valueAxis()
    {
        QFETCH(double, factor);
        QFETCH(double, anchor);
        QFETCH(double, low);
        QFETCH(double, high);
        TrendView view;
        view.zoomValues(factor, anchor);
        QCOMPARE(view.low, low);
        QCOMPARE(view.high, high);
        view.fitValues();
        QCOMPARE(std::pair(view.low, view.high), std::pair(0.0, 255.0));
    }

    void pixelsAndBack()
    {
        const TrendView view{10'000, 1'000, 100, 200};
        QCOMPARE(view.msAt(0, 1001), 9'000);
        QCOMPARE(view.msAt(1000, 1001), 10'000);
        QCOMPARE(view.msAt(500, 1001), 9'500);
        QCOMPARE(view.xOf(9'250, 1001), 250.0);
        QCOMPARE(view.valueAt(0, 101), 200.0);
        QCOMPARE(view.valueAt(100, 101), 100.0);
        QCOMPARE(view.yOf(150, 101), 50.0);
    }
};

QTEST_GUILESS_MAIN(TestTrendView)
#include "tst_trend_view.moc"
