#include "alarms/alarm_file.h"

#include <QTest>

// Rules files: the form the README shows, and every kind of fault, refused at its file:line:column.
class TestAlarmFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aFileAsTheReadmeShowsIt()
    {
        const QByteArray text = "[calibration.8]          # optional\nscale = 0.025\noffset = 0.0\nunit = \"V\"\n"
                                "name = \"Supply\"\n\n"
                                "[[alarm]]\nname = \"Supply low\"\nchannel = 8\nbelow = 4.75\nfor_ms = 500\n"
                                "severity = \"critical\"\nlatched = true\n\n"
                                "[[alarm]]\nname = \"Lid open\"\npin = 9\nlevel = 0\ncommand = \"pin 2 0\"\n";
        const auto read = readAlarmsText(text, QStringLiteral("alarms.toml"));
        if (const auto *error = std::get_if<PlanError>(&read))
            QFAIL(qPrintable(error->text()));
        const AlarmSetup &setup = std::get<AlarmSetup>(read);
        QVERIFY(setup.calibration[8]);
        QCOMPARE(*setup.calibration[8], (ChannelCalibration{"Supply", "V", 0.025, 0.0, 2}));
        QVERIFY(!setup.calibration[1]);
        QCOMPARE(setup.rules.size(), std::size_t(2));
        const AlarmRule &supply = setup.rules[0];
        QCOMPARE(std::tuple(supply.channel, *supply.below, supply.above.has_value(), supply.forMs, supply.latched),
                 std::tuple(8, 4.75, false, 500, true));
        QCOMPARE(supply.severity, AlarmSeverity::Critical);
        const AlarmRule &lid = setup.rules[1];
        QCOMPARE(std::tuple(lid.pin, lid.level, lid.severity, lid.latched),
                 std::tuple(9, false, AlarmSeverity::Warning, false));
        // A file's command is never sent until an operator confirms it.
        QCOMPARE(std::pair(lid.command, lid.commandConfirmed), std::pair(QStringLiteral("pin 2 0"), false));
        // The file's channels over the board's own.
        BoardCalibration board;
        board.channel(1).unit = QStringLiteral("A");
        const BoardCalibration both = setup.over(board);
        QCOMPARE(both.channel(1).unit, QStringLiteral("A"));
        QCOMPARE(both.channel(8).unit, QStringLiteral("V"));
    }

    void errorsNameThePlaceAndTheKey_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        const QByteArray alarm = "[[alarm]]\nname = \"a\"\n";
        QTest::newRow("scale 0") << QByteArray("[calibration.8]\nscale = 0\n")
                                 << "r.toml:2:1: calibration.8: the scale must not be 0";
        QTest::newRow("scale NaN") << QByteArray("[calibration.8]\nscale = nan\n")
                                   << "r.toml:2:1: calibration.8: \"scale\" must be a number";
        QTest::newRow("unit of 200") << QByteArray("[calibration.2]\nunit = \"" + QByteArray(200, 'V') + "\"\n")
                                     << "r.toml:2:1: calibration.2: the unit is 200 characters long; at most 16";
        QTest::newRow("channel 9") << QByteArray("[calibration.9]\nscale = 2\n")
                                   << "r.toml:1:14: calibration: \"9\" is not a channel (1 to 8)";
        QTest::newRow("calibration key") << QByteArray("[calibration.1]\ngain = 2\n")
                                         << "r.toml:2:1: calibration.1: unknown key \"gain\"";
        QTest::newRow("low above high") << QByteArray(alarm + "channel = 1\nbelow = 5\nabove = 4\n")
                                        << "r.toml:5:1: alarm 1: \"below\" (5) is greater than \"above\" (4)";
        QTest::newRow("pin 19") << QByteArray(alarm + "pin = 19\nlevel = 0\n")
                                << "r.toml:3:1: alarm 1: \"pin\" is 19; it must be 1 to 18";
        QTest::newRow("no limit") << QByteArray(alarm + "channel = 1\n")
                                  << "r.toml:1:1: alarm 1: a channel's alarm needs a limit";
        QTest::newRow("neither") << QByteArray(alarm + "below = 1\n")
                                 << "r.toml:1:1: alarm 1: the alarm watches either a channel or a pin";
        QTest::newRow("pin with a limit") << QByteArray(alarm + "pin = 3\nbelow = 1\n")
                                          << "r.toml:4:1: alarm 1: a pin's alarm has a level, not below or above";
        QTest::newRow("severity") << QByteArray(alarm + "channel = 1\nbelow = 1\nseverity = \"fatal\"\n")
                                  << "r.toml:5:1: alarm 1: \"severity\" must be info, warning or critical";
        QTest::newRow("latched") << QByteArray(alarm + "channel = 1\nbelow = 1\nlatched = 1\n")
                                 << "r.toml:5:1: alarm 1: \"latched\" must be true or false";
        QTest::newRow("negative time") << QByteArray(alarm + "channel = 1\nbelow = 1\nfor_ms = -5\n")
                                       << "r.toml:5:1: alarm 1: \"for_ms\" is -5";
        QTest::newRow("two of one name") << QByteArray(alarm + "channel = 1\nbelow = 1\n" + alarm +
                                                       "channel = 2\nbelow = 1\n")
                                         << "r.toml:5:1: two alarms are named \"a\"";
        QTest::newRow("unknown top key") << QByteArray("alarms = 3\n") << "r.toml:1:1: unknown key \"alarms\"";
        QTest::newRow("alarm not a table list")
            << QByteArray("alarm = 3\n") << "r.toml:1:1: \"alarm\" must be written as [[alarm]] tables";
        QTest::newRow("not TOML") << QByteArray("[[alarm]\n") << "r.toml:1:";
    }

    void errorsNameThePlaceAndTheKey()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const auto read = readAlarmsText(text, QStringLiteral("r.toml"));
        QVERIFY(std::holds_alternative<PlanError>(read));
        const QString said = std::get<PlanError>(read).text();
        QVERIFY2(said.startsWith(error), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestAlarmFile)
#include "tst_alarm_file.moc"
