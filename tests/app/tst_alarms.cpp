#include "event_recorder.h"
#include "program.h"

#include "alarms/alarm_file.h"
#include "device/demo_driver.h"
#include "host/board_host.h"
#include "windows/alarms/form_alarms.h"
#include "windows/channels_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>

// The alarm's whole life in the window program on the demo fixture: DEMO0002's channel 8 as a 5 V supply, "Supply
// low" raised when pin 9 drops it, shown in the Alarms window and the status bar, cleared once the supply is back and
// the alarm acknowledged; and the Channels dialog refusing what cannot be judged.
class TestAlarms : public QObject
{
    Q_OBJECT

private:
    static AlarmSetup supplyRules()
    {
        const auto read = readAlarmsText("[calibration.8]\nscale = 0.025\nunit = \"V\"\nname = \"Supply\"\n"
                                         "[[alarm]]\nname = \"Supply low\"\nchannel = 8\nbelow = 4.75\nfor_ms = 500\n"
                                         "severity = \"critical\"\nlatched = true\n",
                                         QStringLiteral("supply.toml"));
        return std::get<AlarmSetup>(read);
    }

    static QStringList column(const QTableWidget *table, int column)
    {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row)
            texts << table->item(row, column)->text();
        return texts;
    }

private Q_SLOTS:
    void supplyLowRaisedShownAndCleared()
    {
        DemoDriver demo;
        Program program(demo);
        BoardHost &host = program.main->host();
        host.setAlarmFile(supplyRules());
        host.select(1);
        BoardSession &session = program.main->session();
        QCOMPARE(session.serial(), QStringLiteral("DEMO0002"));
        EventRecorder told(session);
        const PollLease polling = session.wantPolling(std::chrono::milliseconds(50), QStringLiteral("test"));
        session.setChannelTicked(8, true);
        session.setAnalogRequestsOn(true);
        session.makePinOutputAt(9, true);
        QTRY_VERIFY(told.readings[8] && *told.readings[8] > 190);
        const auto *count = program.main->statusBar()->findChild<QLabel *>(QStringLiteral("alarmCount"));
        QVERIFY(count && count->isHidden());

        program.main->showView(formAlarms::kView);
        auto *alarms = program.main->view<formAlarms>();
        QVERIFY(alarms);
        session.setPinLevel(9, false); // the supply sags to 1.25 V
        QTRY_COMPARE_WITH_TIMEOUT(host.activeAlarmCount(), 1, 5000);
        QVERIFY(told.kinds.contains(SessionEvent::Kind::AlarmRaised));
        QCOMPARE(count->text(), QStringLiteral("1 alarm"));
        QVERIFY(count->isVisibleTo(program.main.get()));
        QCOMPARE(column(alarms->active(), formAlarms::AlarmColumn), QStringList{"Supply low"});
        QCOMPARE(column(alarms->active(), formAlarms::SeverityColumn), QStringList{"critical"});
        QCOMPARE(column(alarms->active(), formAlarms::StateColumn), QStringList{"raised"});
        QVERIFY(alarms->history()->item(0, 5)->text().startsWith(QStringLiteral("Supply 1.")));

        // Back, but latched: it stays until acknowledged.
        session.setPinLevel(9, true);
        QTRY_COMPARE(column(alarms->active(), formAlarms::StateColumn), QStringList{"raised (condition gone)"});
        QCOMPARE(host.activeAlarmCount(), 1);
        alarms->findChild<QPushButton *>(QStringLiteral("acknowledgeAll"))->click();
        QCOMPARE(host.activeAlarmCount(), 0);
        QCOMPARE(alarms->active()->rowCount(), 0);
        QVERIFY(count->isHidden());
        QCOMPARE(column(alarms->history(), 3), (QStringList{"cleared", "acknowledged", "raised"}));
        QVERIFY(told.kinds.contains(SessionEvent::Kind::AlarmCleared));
    }

    void theChannelsDialogRefusesWhatCannotBeJudged_data()
    {
        QTest::addColumn<QStringList>("channel");
        QTest::addColumn<QStringList>("rule");
        QTest::addColumn<QString>("message");
        const QStringList fine{"Supply", "V", "0.025", "0", "2"};
        const QStringList rule{"Supply low", "8", "4.75", "", "", "500", "critical", "yes"};
        QTest::newRow("scale 0") << QStringList{"", "V", "0", "0", ""} << rule
                                 << "Channel 8: the scale must not be 0 (every reading would be the offset).";
        QTest::newRow("scale NaN") << QStringList{"", "V", "nan", "0", ""} << rule
                                   << "Channel 8: the scale must be a number.";
        QTest::newRow("unit of 200") << QStringList{"", QString(200, u'V'), "1", "0", ""} << rule
                                     << "Channel 8: the unit is 200 characters long; at most 16.";
        QTest::newRow("low above high") << fine << QStringList{"Window", "8", "5", "4", "", "0", "info", "no"}
                                        << "Rule 1: \"below\" (5) is greater than \"above\" (4): every value would "
                                           "raise it.";
        QTest::newRow("pin 19") << fine << QStringList{"Lid", "pin 19", "", "", "0", "0", "", ""}
                                << "Rule 1: pin 19 does not exist (pins are 1 to 18).";
        QTest::newRow("command of two lines")
            << fine << QStringList{"Lid", "pin 9", "", "", "0", "0", "", "", "pin 9 1\nreset"}
            << "Rule 1: the command must be one line, without control characters.";
        QTest::newRow("confirmed maybe") << fine
                                         << QStringList{"Lid", "pin 9", "", "", "0", "0", "", "", "pin 9 1", "maybe"}
                                         << "Rule 1: \"Confirmed\" must be yes or no.";
        QTest::newRow("accepted") << fine << rule << QString();
    }

    void theChannelsDialogRefusesWhatCannotBeJudged()
    {
        QFETCH(QStringList, channel);
        QFETCH(QStringList, rule);
        QFETCH(QString, message);
        ChannelsDialog dialog(QStringLiteral("DEMO0002"), BoardCalibration(), {});
        for (int column = 0; column < channel.size(); ++column)
            dialog.channelsTable()->item(7, column)->setText(channel[column]);
        for (int column = 0; column < rule.size(); ++column)
            dialog.rulesTable()->item(0, column)->setText(rule[column]);
        dialog.show();
        dialog.accept();
        QCOMPARE(dialog.message(), message);
        QCOMPARE(dialog.result() == QDialog::Accepted, message.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(dialog.calibration().channel(8).text(200), QStringLiteral("5.00 V"));
            QCOMPARE(dialog.rules().size(), std::size_t(1));
            QCOMPARE(dialog.rules().front().severity, AlarmSeverity::Critical);
        }
    }
};

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
