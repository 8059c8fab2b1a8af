#include "fake_workspace.h"
#include "file_helpers.h"
#include "session/board_session.h"
#include "session/poller.h"
#include "windows/trend/form_trend.h"
#include "windows/trend/trend_plot.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QXmlStreamReader>

// The trend window on a workspace of its own: what it shows of the readings, cursors and limits, the keyboard and
// the mouse on the plot, export, recording, and why readings do not come.
class TestTrendWindow : public QObject
{
    Q_OBJECT

private:
    // Board A1B2 attached; once selected, polled with channel 1 ticked and requested, as the other windows have it.
    struct Rig {
        FakeWorkspace workspace{QStringList{"A1B2"}};
        PollLease polling;

        void selectAndTick()
        {
            workspace.host().select(0);
            BoardSession &session = workspace.session();
            session.setChannelTicked(1, true);
            session.setAnalogRequestsOn(true);
            polling = session.wantPolling(Poller::kDefaultInterval, QStringLiteral("test"));
        }
        void receive(const QByteArray &bytes)
        {
            workspace.driver.queue(bytes);
            workspace.session().poller().pollNow();
        }
        const TrendHistory &history() { return workspace.host().board(QStringLiteral("A1B2")).trend; }

        // The trend window recording to run.csv in the workspace's folder.
        formTrend *startRecording(QString *path)
        {
            selectAndTick();
            formTrend *trend = workspace.open<formTrend>();
            *path = workspace.path(QStringLiteral("run.csv"));
            workspace.scripted.fileNames = {*path};
            trend->recordOrStop();
            return trend;
        }

        // Three readings of channel 1 (10, 50, 90) a little apart; their times.
        QList<qint64> threeReadings()
        {
            selectAndTick();
            for (const char *reading : {"adc 1 10\n", "adc 1 50\n", "adc 1 90\n"}) {
                receive(reading);
                QTest::qWait(120); // further apart than the narrowest span
            }
            QList<qint64> times;
            for (qsizetype i = 0; i < history().size(1); ++i)
                times.append(history().at(1, i).ms);
            return times;
        }
    };

private Q_SLOTS:
    void readingsAreShownAndCountedOverTheSpan()
    {
        Rig rig;
        rig.selectAndTick();
        rig.receive("adc 1 7\nadc 1 300\nadc 2 9\n");
        QCOMPARE(rig.history().size(1), 2);
        QCOMPARE(rig.history().size(2),
                 1); // shown on its meter, so kept too
        formTrend *trend = rig.workspace.open<formTrend>();
        trend->refresh();
        QTableWidget *table = trend->statistics();
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Channel"));
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("ADC 1"));
        QStringList row;
        for (int column = formTrend::LastColumn; column <= formTrend::CountColumn; ++column)
            row.append(table->item(0, column)->text());
        QCOMPARE(row, QStringList({"300", "7", "300", "153.5", "2"}));
        QCOMPARE(table->item(4, 1)->text(), QString()); // no reading for ADC 5
        // Paused, the view stands still while readings are still kept.
        trend->pauseOrResume();
        rig.receive("adc 1 8\n");
        trend->refresh();
        QCOMPARE(table->item(0, 5)->text(), QStringLiteral("2"));
        QCOMPARE(rig.history().size(1), 3);
        trend->clear();
        QCOMPARE(rig.history().size(1), 0);
    }

    // A calibrated channel reads in its unit everywhere in the window: statistics, axis, legend, limits (the
    // thresholds of its limit rule, which raises an alarm) and the exported columns after the counts.
    void aCalibratedChannelInItsUnit()
    {
        Rig rig;
        rig.selectAndTick();
        BoardCalibration calibration;
        calibration.channel(1) = ChannelCalibration{QStringLiteral("Supply"), QStringLiteral("V"), -0.025, 6.0, 2};
        BoardHost &host = rig.workspace.host();
        host.setCalibration(QStringLiteral("A1B2"), calibration);
        rig.receive("adc 1 40\nadc 1 200\n");
        formTrend *trend = rig.workspace.open<formTrend>();
        trend->refresh();
        QTableWidget *table = trend->statistics();
        QStringList row;
        for (int column = formTrend::ChannelColumn; column <= formTrend::CountColumn; ++column)
            row.append(table->item(0, column)->text());
        // A negative scale: the highest count is the lowest value.
        QCOMPARE(row, QStringList({"ADC 1 Supply (V)", "1.00 V", "1.00 V", "5.00 V", "3.00 V", "2"}));
        QCOMPARE(trend->plot()->axisUnits().unit, QStringLiteral("V"));

        table->item(0, formTrend::LowColumn)->setText(QStringLiteral("1.5 V"));
        QCOMPARE(table->item(0, formTrend::LowColumn)->text(), QStringLiteral("1.5 V"));
        QCOMPARE(table->item(0, formTrend::OutsideColumn)->text(), QStringLiteral("1"));
        const std::vector<AlarmEngine::Alarm> &alarms = host.board(QStringLiteral("A1B2")).alarms.alarms();
        QCOMPARE(alarms.size(), 1u);
        QCOMPARE(alarms.front().rule.name, QStringLiteral("ADC 1 limits"));
        QCOMPARE(alarms.front().rule.below, std::optional<double>(1.5));
        // A high below the low, or what is no number, is put back, not kept, and the status line says why.
        table->item(0, formTrend::HighColumn)->setText(QStringLiteral("0.5"));
        QCOMPARE(table->item(0, formTrend::HighColumn)->text(), QString());
        QVERIFY2(trend->statusText().startsWith(QStringLiteral("ADC 1: \"below\" (1.5) is greater than \"above\"")),
                 qPrintable(trend->statusText()));
        table->item(0, formTrend::HighColumn)->setText(QStringLiteral("6 A"));
        QCOMPARE(trend->statusText(),
                 QStringLiteral("ADC 1: \"6 A\" is not a limit (a number in V, or nothing for none)."));
        rig.receive("adc 1 200\n");
        QCOMPARE(host.activeAlarmCount(), 1);

        QVERIFY(trend->exportTo(rig.workspace.path(QStringLiteral("units.csv"))));
        const QList<QByteArray> rows = readFile(rig.workspace.path(QStringLiteral("units.csv"))).trimmed().split('\n');
        QCOMPARE(rows[0], QByteArray("time,ADC 1,ADC 1 Supply (V)"));
        QVERIFY2(rows[2].endsWith(",200,1.00"), rows[2]);

        QVERIFY(trend->setLimits(1, std::nullopt, std::nullopt));
        QVERIFY(host.board(QStringLiteral("A1B2")).alarms.alarms().empty());
        host.setCalibration(QStringLiteral("A1B2"), BoardCalibration());
    }

    // Limits an earlier version kept in counts for every board become each board's limit rule once.
    void limitsOfAnEarlierVersionAreTakenOnce()
    {
        QSettings settings;
        settings.setValue(QStringLiteral("trend/limits/3/low"), 20);
        settings.setValue(QStringLiteral("trend/limits/3/high"), 80);
        settings.remove(QStringLiteral("trend/limitsAdopted"));
        Rig rig;
        rig.selectAndTick();
        formTrend *trend = rig.workspace.open<formTrend>();
        QCOMPARE(trend->statistics()->item(2, formTrend::LowColumn)->text(), QStringLiteral("20"));
        QCOMPARE(trend->statistics()->item(2, formTrend::HighColumn)->text(), QStringLiteral("80"));
        QVERIFY(trend->setLimits(3, std::nullopt, std::nullopt));
        trend->close();
        FakeWorkspace::flushDeletes();
        QCOMPARE(rig.workspace.open<formTrend>()->statistics()->item(2, formTrend::LowColumn)->text(), QString());
        settings.remove(QStringLiteral("trend/limits"));
    }

    void recordingWritesReadingsAndPinLevels()
    {
        Rig rig;
        QString path;
        formTrend *trend = rig.startRecording(&path);
        QCOMPARE(rig.workspace.scripted.dialogFilters, QStringList{"CSV files (*.csv)"});
        QVERIFY(trend->isRecording());
        QCOMPARE(trend->findChild<QPushButton *>(QStringLiteral("record"))->text(), QStringLiteral("Stop &Recording"));
        rig.receive("adc 1 7\npin 5 1\nok\n");
        trend->recordOrStop();
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QByteArray("time,t_ms,board,kind,channel,pin,value,level,text"));
        QVERIFY2(lines[1].endsWith(",A1B2,adc,1,,7,,"), lines[1].constData());
        QVERIFY2(lines[2].endsWith(",A1B2,pin,,5,,1,"), lines[2].constData());
        QVERIFY(QDateTime::fromString(QString::fromLatin1(lines[1].left(29)), Qt::ISODateWithMs).isValid());
        QCOMPARE(trend->findChild<QLabel *>(QStringLiteral("recording"))->text(),
                 QStringLiteral("Recorded to run.csv: 2 rows"));
    }

    void closingTheWindowStopsTheRecording()
    {
        Rig rig;
        QString path;
        formTrend *trend = rig.startRecording(&path);
        rig.receive("adc 1 7\n");
        trend->close();
        rig.receive("adc 1 8\n");
        QCOMPARE(readFile(path).count('\n'), 2);
    }

    void cursorsLimitsAndTheRangeShown()
    {
        Rig rig;
        const QList<qint64> times = rig.threeReadings();
        QCOMPARE(times.size(), 3);
        formTrend *trend = rig.workspace.open<formTrend>();
        trend->refresh();
        QTableWidget *table = trend->statistics();
        const auto cell = [table](int column) {
            return table->item(0, column)->text();
        };
        trend->plot()->placeCursor(false, times[0]);
        trend->plot()->placeCursor(true, times[2] + 1);
        QCOMPARE((QStringList{cell(formTrend::AtAColumn), cell(formTrend::AtBColumn), cell(formTrend::DeltaColumn)}),
                 (QStringList{"10", "90", "80"}));
        // A cursor before every reading in view stands on none: a dash, not a value from outside the view.
        trend->plot()->placeCursor(false, times[0] - 1);
        QCOMPARE((QStringList{cell(formTrend::AtAColumn), cell(formTrend::DeltaColumn)}), (QStringList{"\u2014", ""}));
        trend->plot()->placeCursor(false, times[0]);
        QCOMPARE(table->horizontalHeaderItem(formTrend::DeltaColumn)->text(), QStringLiteral("\u0394"));
        QCOMPARE(trend->cursorDeltaText(),
                 QStringLiteral("\u0394t = %1 s").arg(double(times[2] + 1 - times[0]) / 1000.0, 0, 'f', 3));
        // Limits typed into the table count what lies outside them, and are kept.
        table->item(0, formTrend::LowColumn)->setText(QStringLiteral("20"));
        table->item(0, formTrend::HighColumn)->setText(QStringLiteral("80"));
        QCOMPARE(cell(formTrend::OutsideColumn), QStringLiteral("2"));
        table->item(0, formTrend::HighColumn)->setText(QStringLiteral("eighty"));
        QCOMPARE(cell(formTrend::HighColumn), QStringLiteral("80"));
        // Zoomed onto the middle reading, the statistics follow what is shown.
        TrendView view = trend->plot()->view();
        view.showRange(times[1] - 1, times[1] + 1);
        trend->plot()->setView(view);
        Q_EMIT trend->plot()->viewMovedByHand();
        QCOMPARE(
            (QStringList{cell(formTrend::CountColumn), cell(formTrend::MinColumn), cell(formTrend::OutsideColumn)}),
            (QStringList{"1", "50", "0"}));
        QVERIFY(trend->isPaused());
        trend->close();
        FakeWorkspace::flushDeletes();
        formTrend *again = rig.workspace.open<formTrend>();
        QCOMPARE(again->statistics()->item(0, formTrend::LowColumn)->text(), QStringLiteral("20"));
        again->setLimits(1, std::nullopt, std::nullopt);
    }

    // Paused, the time labels stand still with the curves; the clock axis labels ticks with the time of day.
    void aPausedViewStandsStill()
    {
        Rig rig;
        const QList<qint64> times = rig.threeReadings();
        formTrend *trend = rig.workspace.open<formTrend>();
        trend->refresh();
        trend->pauseOrResume();
        const QString label = trend->plot()->timeLabel(times[0], 10'000);
        QTest::qWait(1100);
        trend->refresh();
        QCOMPARE(trend->plot()->timeLabel(times[0], 10'000), label);
        trend->findChild<QComboBox *>(QStringLiteral("timeAxis"))->setCurrentIndex(1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                    .match(trend->plot()->timeLabel(times[0], 10'000))
                    .hasMatch());
        trend->findChild<QComboBox *>(QStringLiteral("timeAxis"))->setCurrentIndex(0);
    }

    void theKeyboardAndTheMouseOnThePlot()
    {
        Rig rig;
        const QList<qint64> times = rig.threeReadings();
        formTrend *trend = rig.workspace.open<formTrend>();
        trend->refresh();
        TrendPlot *plot = trend->plot();
        plot->setFocus();
        QTest::keyClick(plot, Qt::Key_Plus);
        QCOMPARE(plot->spanMs(), 48'000);
        QVERIFY(trend->isPaused());
        QCOMPARE(trend->findChild<QPushButton *>(QStringLiteral("pause"))->text(), QStringLiteral("Res&ume"));
        const qint64 end = plot->endMs();
        QTest::keyClick(plot, Qt::Key_Left);
        QCOMPARE(plot->endMs(), end - 4'800);
        QTest::keyClick(plot, Qt::Key_Home);
        QCOMPARE(plot->spanMs(), 60'000);
        QVERIFY(!trend->isPaused());
        // A click sets cursor A, Shift+click cursor B; Ctrl+arrows step the last one set by a reading.
        QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(plot->width() / 2, plot->height() / 2));
        QVERIFY(plot->cursorA());
        plot->placeCursor(true, times[0]);
        QTest::keyClick(plot, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(plot->cursorB(), times[1]);
        QTest::keyClick(plot, Qt::Key_Escape);
        QVERIFY(!plot->cursorA() && !plot->cursorB());
        QCOMPARE(trend->cursorDeltaText(), QString());
    }

    void exportWritesWhatIsShown()
    {
        Rig rig;
        rig.threeReadings();
        rig.receive("adc 2 33\n");
        rig.workspace.session().setChannelTicked(2, true);
        formTrend *trend = rig.workspace.open<formTrend>();
        trend->refresh();
        QVERIFY(trend->exportTo(rig.workspace.path(QStringLiteral("shown.csv"))));
        const QList<QByteArray> rows = readFile(rig.workspace.path(QStringLiteral("shown.csv"))).trimmed().split('\n');
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0], QByteArray("time,ADC 1,ADC 2"));
        QVERIFY2(rows[1].endsWith(",10,"), rows[1]);
        QVERIFY2(rows[4].endsWith(",,33"), rows[4]);
        QVERIFY(QDateTime::fromString(QString::fromLatin1(rows[1].left(29)), Qt::ISODateWithMs).isValid());

        QVERIFY(trend->exportTo(rig.workspace.path(QStringLiteral("shown.png"))));
        const QImage image(rig.workspace.path(QStringLiteral("shown.png")));
        // The picture says what it shows in a caption line above the plot.
        QCOMPARE(image.size(), trend->plot()->size() + QSize(0, trend->plot()->captionHeight()));
        const QString caption = trend->exportCaption();
        QVERIFY2(QRegularExpression(QStringLiteral("^A1B2   \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \u2013 "
                                                   "\\d\\d:\\d\\d:\\d\\d   ADC 1, 2$"))
                     .match(caption)
                     .hasMatch(),
                 qPrintable(caption));
        const QColor channelOne = TrendPlot::channelColour(1);
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y) {
            for (int x = image.width() / 2; x < image.width() && !drawn; ++x)
                drawn = image.pixelColor(x, y) == channelOne;
        }
        QVERIFY(drawn);

        QVERIFY(trend->exportTo(rig.workspace.path(QStringLiteral("shown.svg"))));
        QFile svg(rig.workspace.path(QStringLiteral("shown.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        QStringList strokes; // the stroke of every path, from the group it stands in
        QStringList groupStrokes;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"g")
                groupStrokes.append(xml.attributes().value("stroke").toString());
            else if (xml.isEndElement() && xml.name() == u"g")
                groupStrokes.removeLast();
            else if (xml.isStartElement() && xml.name() == u"path" && !groupStrokes.isEmpty())
                strokes.append(groupStrokes.last());
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(readFile(rig.workspace.path(QStringLiteral("shown.svg"))).contains(caption.toUtf8()));
        QCOMPARE(strokes.count(TrendPlot::channelColour(1).name()), 1);
        QCOMPARE(strokes.count(TrendPlot::channelColour(2).name()), 1);

        QVERIFY(!trend->exportTo(rig.workspace.path(QStringLiteral("shown.txt"))));
        QCOMPARE(rig.workspace.scripted.warnings.size(), 1);
    }

    void gapsAreSaidAndRecorded()
    {
        Rig rig;
        formTrend *trend = rig.workspace.open<formTrend>();
        QCOMPARE(trend->windowTitle(), QStringLiteral("Trend"));
        trend->refresh();
        QCOMPARE(trend->statusText(), QStringLiteral("No readings: no board open"));
        QString path;
        rig.workspace.scripted.fileNames = {rig.workspace.path(QStringLiteral("gaps"))}; // .csv is added
        rig.selectAndTick();
        trend->recordOrStop();
        QVERIFY(trend->isRecording());
        trend->refresh();
        QCOMPARE(trend->statusText(), QString());
        rig.receive("adc 1 7\n");
        rig.workspace.session().setAnalogRequestsOn(false); // the meters' window hidden: no requests go out
        trend->refresh();
        QCOMPARE(trend->statusText(), QStringLiteral("No readings: the Analog Levels window is hidden or closed"));
        trend->refresh();
        rig.workspace.session().setAnalogRequestsOn(true);
        rig.receive("adc 1 8\n");
        trend->recordOrStop();
        const QList<QByteArray> rows = readFile(rig.workspace.path(QStringLiteral("gaps.csv"))).trimmed().split('\n');
        QCOMPARE(rows.size(), 4);
        QVERIFY2(rows[2].endsWith(",A1B2,gap,,,,,requests off"), rows[2]);
        QVERIFY(rows[3].endsWith(",A1B2,adc,1,,8,,"));
    }

#ifdef VANTREL_TEST_FILE_SIZE_LIMIT
    void aFailedWriteStopsTheRecordingWithAWarning()
    {
        Rig rig;
        QString path;
        formTrend *trend = rig.startRecording(&path);
        {
            FullDisk full(60); // the header and part of one row
            rig.receive("adc 1 8\n");
            trend->recordOrStop();
        }
        QCOMPARE(rig.workspace.scripted.warnings.size(), 1);
        QVERIFY(rig.workspace.scripted.warnings[0].contains(QStringLiteral("run.csv")));
        QVERIFY(!trend->isRecording());
        QCOMPARE(readFile(path), QByteArray("time,t_ms,board,kind,channel,pin,value,level,text\n")); // written whole
    }
#endif
};

QTEST_MAIN(TestTrendWindow)
#include "tst_trend_window.moc"
