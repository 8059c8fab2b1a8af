#include "file_helpers.h"
#include "program.h"
#include "windows/trend/form_trend.h"
#include "windows/trend/trend_plot.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

// The trend window inside the program: its View item, what it shows of the readings, recording, and that the
// layout file does not know it.
class TestTrendWindow : public QObject
{
    Q_OBJECT

private:
    static void selectAndTick(Program &program)
    {
        program.com()->TimerBackgound()->stop();
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
        QCOMPARE(appState().viewTrend, 0);
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
        QCOMPARE(program.main->trendHistory().size(1), 2);
        QCOMPARE(program.main->trendHistory().size(2), 1); // shown on its meter, so kept too
        formTrend *trend = program.main->view<formTrend>();
        trend->refresh();
        QTableWidget *table = trend->statistics();
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Channel"));
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("ADC 1"));
        QStringList row;
        for (int column = 1; column < table->columnCount(); ++column)
            row.append(table->item(0, column)->text());
        QCOMPARE(row, QStringList({"300", "7", "300", "153.5", "2"}));
        QCOMPARE(table->item(4, 1)->text(), QString()); // no reading for ADC 5
        // Paused, the view stands still while readings are still kept.
        trend->pauseOrResume();
        receive(program, "adc 1 8\n");
        trend->refresh();
        QCOMPARE(table->item(0, 5)->text(), QStringLiteral("2"));
        QCOMPARE(program.main->trendHistory().size(1), 3);
        trend->clear();
        QCOMPARE(program.main->trendHistory().size(1), 0);
    }

    void recordingWritesReadingsAndPinLevels()
    {
        Program program({"A1B2"});
        QString path;
        formTrend *trend = startRecording(program, &path);
        QCOMPARE(program.dialogs.dialogFilters, QStringList{"CSV files (*.csv)"});
        QVERIFY(trend->recorder().isOpen());
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

#ifdef Q_OS_UNIX
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
        QVERIFY(!trend->recorder().isOpen());
        QCOMPARE(readFile(path), QByteArray("time,t_ms,board,kind,channel,pin,value,level,text\n")); // written whole
    }
#endif
};

QTEST_MAIN(TestTrendWindow)
#include "tst_trend_window.moc"
