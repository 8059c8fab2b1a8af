#include "fake_workspace.h"
#include "records/journal_files.h"
#include "replay/replay_driver.h"
#include "windows/replay/form_replay.h"
#include "windows/trend/form_trend.h"
#include "windows/trend/trend_plot.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimeZone>

// The replay window on a journal of ten minutes, paused at its start: its controls by keyboard and by name, its
// steps to the recorded command and gap, and the trend following the moment played.
class TestReplayWindow : public QObject
{
    Q_OBJECT

    static QByteArray record(qint64 wallMs, const char *kind, const QByteArray &rest)
    {
        return "{\"time\":\"" + QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1() +
               "\",\"mono_ms\":" + QByteArray::number(wallMs % 1'000'000'000) + ",\"kind\":\"" + kind + "\"," + rest +
               "}\n";
    }

private Q_SLOTS:
    void stepsToTheRecordedEventsAndTheTrendFollows()
    {
        QTemporaryDir directory;
        const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch();
        QByteArray bytes = record(start, "poll", "\"channels\":[1],\"period_ms\":1000");
        for (int second = 0; second < 600; ++second) {
            bytes +=
                record(start + second * 1000, "adc", "\"channel\":1,\"value\":" + QByteArray::number(second % 256));
            if (second == 300)
                bytes += record(start + second * 1000, "command", "\"text\":\"id\\r\\n\"");
            if (second == 420)
                bytes += record(start + second * 1000, "gap", "\"text\":\"poll stalled (1500 ms without a poll)\"");
        }
        bytes += "not a record\n";
        const QString folder = directory.filePath(QStringLiteral("journal"));
        QDir().mkpath(folder + QStringLiteral("/DEMO0001"));
        QFile file(folder + QStringLiteral("/DEMO0001/2026-12-07.jsonl"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();

        ReplayOptions options;
        options.folder = folder;
        options.paused = true;
        ReplayDriver driver(options);
        FakeWorkspace workspace(driver);
        workspace.host().select(0);
        formReplay *window = workspace.open<formReplay>();
        QCOMPARE(window->slider()->accessibleName(), QStringLiteral("Position"));
        QCOMPARE(window->slider()->accessibleDescription(), QStringLiteral("position"));
        QCOMPARE(window->slider()->maximum(), 599);
        QCOMPARE(window->spanText(),
                 QStringLiteral("%1 \u2013 %2")
                     .arg(QDateTime::fromMSecsSinceEpoch(start).toString("yyyy-MM-dd HH:mm:ss"),
                          QDateTime::fromMSecsSinceEpoch(start + 599'000).toString("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(window->statusText(), QStringLiteral("Paused"));
        QVERIFY(window->playButton()->toolTip().contains(QLatin1String("(Space)")));

        // Space plays and pauses wherever the focus is in the window.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->slider()->setFocus();
        QTest::keyClick(window->slider(), Qt::Key_Space);
        QVERIFY(driver.isPlaying());
        QTest::keyClick(window->slider(), Qt::Key_Space);
        QVERIFY(!driver.isPlaying());

        // Ctrl+Right: the command, then the gap; Ctrl+Left back to the command.
        QTest::keyClick(window->slider(), Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(driver.positionMs(), start + 300'000);
        QTest::keyClick(window->slider(), Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(driver.positionMs(), start + 420'000);
        QVERIFY(!window->step(true));
        QTest::keyClick(window->slider(), Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(driver.positionMs(), start + 300'000);

        // The trend's now is the moment played, and it shows what was played up to it.
        workspace.session().poll();
        formTrend *trend = workspace.open<formTrend>();
        trend->refresh();
        QCOMPARE(trend->plot()->endMs(), driver.positionMonoMs());
        QCOMPARE(workspace.host().board(QStringLiteral("DEMO0001")).trend.size(1), 1);

        // Page Up: a minute on; then played at the fastest pace to the end, where the bad line is counted.
        QTest::keyClick(window->slider(), Qt::Key_PageUp);
        QCOMPARE(driver.positionMs(), start + 360'000);
        window->setSpeedIndex(int(formReplay::kSpeeds.size()) - 1);
        window->playOrPause();
        for (int i = 0; i < 50 && !driver.isFinished(); ++i)
            workspace.session().poll();
        QVERIFY(driver.isFinished());
        QCOMPARE(window->statusText(), QStringLiteral("At the end; 1 lines skipped"));
    }
};

QTEST_MAIN(TestReplayWindow)
#include "tst_replay_window.moc"
