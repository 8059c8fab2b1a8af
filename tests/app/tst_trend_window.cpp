#include "file_helpers.h"
#include "program.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/trend/form_trend.h"
#include "windows/trend/trend_plot.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <QXmlStreamReader>

// The trend window inside the program: its View item, what it shows of the readings, recording, and that the
// layout file does not know it.
class TestTrendWindow : public QObject
{
    Q_OBJECT

private:
    static void selectAndTick(Program &program)
    {
        program.com()->DevicesList()->setCurrentRow(0);
        program.com()->DevicesList_Click();
        program.main->view<formAnalogLevels>()->CheckADC(1)->setChecked(true);
    }

    // The trend window recording to run.csv in the program's folder.
    static formTrend *startRecording(Program &program, QString *path)
    {
        selectAndTick(program);
        formTrend *trend = program.main->view<formTrend>();
        *path = program.path(QStringLiteral("run.csv"));
        program.dialogs.fileNames = {*path};
        trend->recordOrStop();
        return trend;
    }

    static void receive(Program &program, const QByteArray &bytes)
    {
        program.driver.queue(bytes);
        program.com()->TimerBackgound_Timer();
    }

private Q_SLOTS:
    void theViewItemTogglesTheWindow()
    {
        Program program;
        formMain *main = program.main.get();
        QVERIFY(!main->existingView<formTrend>());
        QAction *item = main->viewItem(formTrend::kView);
        QCOMPARE(item->text(), QStringLiteral("&Trend"));
        item->trigger();
        formTrend *trend = main->existingView<formTrend>();
        QVERIFY(trend && trend->isVisible());
        QVERIFY(item->isChecked());
        QCOMPARE(trend->windowTitle(), QStringLiteral("Trend"));
        item->trigger(); // hidden, kept
        QVERIFY(!item->isChecked());
        QCOMPARE(main->existingView<formTrend>(), trend);
        QVERIFY(!trend->isVisible());
        item->trigger();
        QCOMPARE(main->existingView<formTrend>(), trend);
        main->subWindowOf(trend)->close();
        QVERIFY(!item->isChecked());
        QCOMPARE(main->appState().viewTrend, 0);
    }

    void theLayoutFileKeepsItsEighteenLines()
    {
        Program program;
        program.main->viewToggle(formTrend::kView);
        QVERIFY(program.main->close());
        const QByteArray layout = readFile(program.path(QStringLiteral("database.ini")));
        QCOMPARE(layout.count("\r\n"), 18);
        QVERIFY(!layout.toLower().contains("trend"));
    }

    void readingsAreShownAndCountedOverTheSpan()
    {
        Program program({"A1B2"});
        selectAndTick(program);
        receive(program, "adc 1 7\nadc 1 300\nadc 2 9\n");
        QCOMPARE(program.main->host().board(QStringLiteral("A1B2")).trend.size(1), 2);
        QCOMPARE(program.main->host().board(QStringLiteral("A1B2")).trend.size(2),
                 1); // shown on its meter, so kept too
        formTrend *trend = program.main->view<formTrend>();
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
        receive(program, "adc 1 8\n");
        trend->refresh();
        QCOMPARE(table->item(0, 5)->text(), QStringLiteral("2"));
        QCOMPARE(program.main->host().board(QStringLiteral("A1B2")).trend.size(1), 3);
        trend->clear();
        QCOMPARE(program.main->host().board(QStringLiteral("A1B2")).trend.size(1), 0);
    }

    void recordingWritesReadingsAndPinLevels()
    {
        Program program({"A1B2"});
        QString path;
        formTrend *trend = startRecording(program, &path);
        QCOMPARE(program.dialogs.dialogFilters, QStringList{"CSV files (*.csv)"});
        QVERIFY(trend->isRecording());
        QCOMPARE(trend->findChild<QPushButton *>(QStringLiteral("record"))->text(), QStringLiteral("Stop &Recording"));
        receive(program, "adc 1 7\npin 5 1\nok\n");
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
        Program program({"A1B2"});
        QString path;
        formTrend *trend = startRecording(program, &path);
        receive(program, "adc 1 7\n");
        program.main->subWindowOf(trend)->close();
        receive(program, "adc 1 8\n");
        QCOMPARE(readFile(path).count('\n'), 2);
    }

    // Three readings of channel 1 (10, 50, 90) a little apart; their times.
    static QList<qint64> threeReadings(Program &program)
    {
        selectAndTick(program);
        for (const char *reading : {"adc 1 10\n", "adc 1 50\n", "adc 1 90\n"}) {
            receive(program, reading);
            QTest::qWait(120); // further apart than the narrowest span
        }
        const TrendHistory &history = program.main->host().board(QStringLiteral("A1B2")).trend;
        QList<qint64> times;
        for (qsizetype i = 0; i < history.size(1); ++i)
            times.append(history.at(1, i).ms);
        return times;
    }

    void cursorsLimitsAndTheRangeShown()
    {
        Program program({"A1B2"});
        const QList<qint64> times = threeReadings(program);
        QCOMPARE(times.size(), 3);
        formTrend *trend = program.main->view<formTrend>();
        trend->refresh();
        QTableWidget *table = trend->statistics();
        const auto cell = [table](int column) {
            return table->item(0, column)->text();
        };
        trend->plot()->placeCursor(false, times[0]);
        trend->plot()->placeCursor(true, times[2] + 1);
        QCOMPARE((QStringList{cell(formTrend::AtAColumn), cell(formTrend::AtBColumn), cell(formTrend::DeltaColumn)}),
                 (QStringList{"10", "90", "80"}));
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
        program.main->subWindowOf(trend)->close();
        formTrend *again = program.main->view<formTrend>();
        QCOMPARE(again->statistics()->item(0, formTrend::LowColumn)->text(), QStringLiteral("20"));
        again->setLimits(1, std::nullopt, std::nullopt);
    }

    void theKeyboardAndTheMouseOnThePlot()
    {
        Program program({"A1B2"});
        const QList<qint64> times = threeReadings(program);
        formTrend *trend = program.main->view<formTrend>();
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
        Program program({"A1B2"});
        threeReadings(program);
        receive(program, "adc 2 33\n");
        program.main->view<formAnalogLevels>()->CheckADC(2)->setChecked(true);
        formTrend *trend = program.main->view<formTrend>();
        trend->refresh();
        QVERIFY(trend->exportTo(program.path(QStringLiteral("shown.csv"))));
        const QList<QByteArray> rows = readFile(program.path(QStringLiteral("shown.csv"))).trimmed().split('\n');
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0], QByteArray("time,ADC 1,ADC 2"));
        QVERIFY2(rows[1].endsWith(",10,"), rows[1]);
        QVERIFY2(rows[4].endsWith(",,33"), rows[4]);
        QVERIFY(QDateTime::fromString(QString::fromLatin1(rows[1].left(29)), Qt::ISODateWithMs).isValid());

        QVERIFY(trend->exportTo(program.path(QStringLiteral("shown.png"))));
        const QImage image(program.path(QStringLiteral("shown.png")));
        QCOMPARE(image.size(), trend->plot()->size());
        const QColor channelOne = TrendPlot::channelColour(1);
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y) {
            for (int x = image.width() / 2; x < image.width() && !drawn; ++x)
                drawn = image.pixelColor(x, y) == channelOne;
        }
        QVERIFY(drawn);

        QVERIFY(trend->exportTo(program.path(QStringLiteral("shown.svg"))));
        QFile svg(program.path(QStringLiteral("shown.svg")));
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
        QCOMPARE(strokes.count(TrendPlot::channelColour(1).name()), 1);
        QCOMPARE(strokes.count(TrendPlot::channelColour(2).name()), 1);

        QVERIFY(!trend->exportTo(program.path(QStringLiteral("shown.txt"))));
        QCOMPARE(program.dialogs.warnings.size(), 1);
    }

    void gapsAreSaidAndRecorded()
    {
        Program program({"A1B2"});
        formTrend *trend = program.main->view<formTrend>();
        trend->refresh();
        QCOMPARE(trend->statusText(), QStringLiteral("No readings: no board open"));
        QString path;
        program.dialogs.fileNames = {program.path(QStringLiteral("gaps"))}; // .csv is added
        selectAndTick(program);
        trend->recordOrStop();
        QVERIFY(trend->isRecording());
        trend->refresh();
        QCOMPARE(trend->statusText(), QString());
        receive(program, "adc 1 7\n");
        program.main->viewToggle(formAnalogLevels::kView); // hidden: no requests go out
        trend->refresh();
        QCOMPARE(trend->statusText(), QStringLiteral("No readings: the Analog Levels window is hidden or closed"));
        trend->refresh();
        program.main->viewToggle(formAnalogLevels::kView);
        receive(program, "adc 1 8\n");
        trend->recordOrStop();
        const QList<QByteArray> rows = readFile(program.path(QStringLiteral("gaps.csv"))).trimmed().split('\n');
        QCOMPARE(rows.size(), 4);
        QVERIFY2(rows[2].endsWith(",A1B2,gap,,,,,requests off"), rows[2]);
        QVERIFY(rows[3].endsWith(",A1B2,adc,1,,8,,"));
    }

    void closingAMaximizedWindowLeavesTheOthersAsTheyWere()
    {
        Program program({"A1B2"});
        formTrend *trend = program.main->view<formTrend>();
        program.main->subWindowOf(trend)->showMaximized();
        program.main->subWindowOf(trend)->close();
        QVERIFY(!program.main->subWindowOf(program.com())->isMaximized());
    }

#ifdef VANTREL_TEST_FILE_SIZE_LIMIT
    void aFailedWriteStopsTheRecordingWithAWarning()
    {
        Program program({"A1B2"});
        QString path;
        formTrend *trend = startRecording(program, &path);
        {
            FullDisk full(60); // the header and part of one row
            receive(program, "adc 1 8\n");
            trend->recordOrStop();
        }
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.warnings[0].contains(QStringLiteral("run.csv")));
        QVERIFY(!trend->isRecording());
        QCOMPARE(readFile(path), QByteArray("time,t_ms,board,kind,channel,pin,value,level,text\n")); // written whole
    }
#endif
};

QTEST_MAIN(TestTrendWindow)
#include "tst_trend_window.moc"
