#include "program.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/digital_pins/pin_colours.h"
#include "windows/digital_pins/shapes.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

// The receive tick and the report interpreter, fed scripted bytes through the recording driver.
class TestReceivePath : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Program> m_program;

    Program &program() { return *m_program; }
    formCommunications *com() { return m_program->com(); }
    formAnalogLevels *analog() { return m_program->main->analogLevels(); }
    formDigitalPins *pins() { return m_program->main->digitalPins(); }

    void tick(const QByteArray &bytes = {})
    {
        if (!bytes.isEmpty())
            program().driver.queue(bytes);
        com()->TimerBackgound_Timer();
    }

    // The log after the selection line, which every test starts with.
    QString log() { return program().log().mid(QStringLiteral("Device selected : A1B2\r\n").size()); }

    void clearLog()
    {
        program().main->subWindowOf(com())->close();
        Program::flushDeletes();
        program().main->viewToggle(View::Communications);
    }

private Q_SLOTS:
    void init()
    {
        m_program = std::make_unique<Program>(QStringList{"A1B2"});
        com()->TimerBackgound()->stop(); // ticks are driven by hand
        com()->DevicesList()->setCurrentRow(0);
        com()->DevicesList_Click();
        program().driver.clearCalls();
    }

    void cleanup() { m_program.reset(); }

    void noBoardMeansNoDriverCallAtAll()
    {
        appState().deviceHandle = 0;
        analog()->CheckADC(1)->setChecked(true);
        program().driver.queue("pin 3 1\n");
        tick();
        QVERIFY(program().driver.calls.empty());
    }

    void crLfInOneReadIsOneReport()
    {
        tick("pin 3 1\r\n");
        QCOMPARE(log(), QStringLiteral("received : pin 3 1\r\n\r\n"));
        QCOMPARE(pins()->pin_led(3)->fillColor(), kInputHigh);
        QCOMPARE(program().driver.calls.back().kind, DriverCall::Read);
        QCOMPARE(program().driver.calls.back().size, 9u);
    }

    void lineSplitAcrossTicks()
    {
        tick("adc 2 1");
        QCOMPARE(log(), QString());
        QCOMPARE(com()->pendingLine, QStringLiteral("adc 2 1"));
        tick("00\n");
        QCOMPARE(log(), QStringLiteral("received : adc 2 100\r\n\r\n"));
        QCOMPARE(analog()->ADCbar(2)->value(), 100);
        QCOMPARE(analog()->ADCLabel(2)->text(), QStringLiteral("100"));
    }

    void loneByteIsNotedThenHandled()
    {
        tick("\n");
        QCOMPARE(log(), QStringLiteral("byte : 10\r\n"));
        tick("A");
        QCOMPARE(log(), QStringLiteral("byte : 10\r\nbyte : 65\r\n"));
        QCOMPARE(com()->pendingLine, QStringLiteral("A"));
        tick(QByteArray(1, '\xE9'));
        QVERIFY(log().endsWith(QStringLiteral("byte : 233\r\n")));
    }

    void noBoxTickedSendsNothingAndBlanksEveryMeter()
    {
        analog()->showReading(4, 99);
        tick();
        QVERIFY(program().driver.writes().isEmpty());
        for (int k = 1; k <= 8; ++k) {
            QCOMPARE(analog()->ADCbar(k)->value(), 0);
            QCOMPARE(analog()->ADCLabel(k)->text(), QString());
        }
    }

    void tickedChannelsGoOutInOneWriteInAscendingOrder()
    {
        analog()->CheckADC(8)->setChecked(true);
        analog()->CheckADC(2)->setChecked(true);
        analog()->showReading(2, 7);
        tick();
        QCOMPARE(program().driver.writes(), QList<QByteArray>{"adc  2\nadc  8\n"});
        QCOMPARE(program().driver.calls[0].kind, DriverCall::Write);
        QCOMPARE(program().driver.calls[1].kind, DriverCall::Status);
        QCOMPARE(analog()->ADCLabel(2)->text(), QStringLiteral("7")); // a ticked channel is not blanked
    }

    void hiddenAnalogWindowIsLeftAlone()
    {
        analog()->CheckADC(1)->setChecked(true);
        analog()->showReading(3, 50);
        program().main->viewToggle(View::AnalogLevels);
        tick();
        QVERIFY(program().driver.writes().isEmpty());
        QCOMPARE(analog()->ADCbar(3)->value(), 50);
        program().main->viewToggle(View::AnalogLevels);
        tick();
        QCOMPARE(program().driver.writes(), QList<QByteArray>{"adc  1\n"});
    }

    void failuresOfStatusAndReadLoseNothing()
    {
        program().driver.failStatus = true;
        tick("pin 3 1\n");
        QCOMPARE(program().driver.count(DriverCall::Read), 0);
        program().driver.failStatus = false;
        program().driver.failRead = true;
        tick();
        QCOMPARE(log(), QString());
        program().driver.failRead = false;
        tick();
        QCOMPARE(log(), QStringLiteral("received : pin 3 1\r\n\r\n"));
    }

    void failedOpenStillPolls()
    {
        appState().deviceHandle = kInvalidHandle;
        analog()->CheckADC(1)->setChecked(true);
        tick();
        QCOMPARE(program().driver.calls[0].handle, kInvalidHandle);
        QCOMPARE(program().driver.count(DriverCall::Status), 1);
    }

    void pinReports_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("0") << QByteArray("pin 5 0") << kInputLow;
        QTest::newRow("1") << QByteArray("pin 5 1") << kInputHigh;
        QTest::newRow("2") << QByteArray("pin 5 2") << kInputHigh;
        QTest::newRow("-1") << QByteArray("pin 5 -1") << kInputHigh;
        QTest::newRow("0.5") << QByteArray("pin 5 0.5") << kInputLow;
        QTest::newRow("1.5") << QByteArray("pin 5 1.5") << kInputHigh;
        QTest::newRow("PIN") << QByteArray("PIN 5 1") << QColor(kInputLow);
        QTest::newRow("leading blank") << QByteArray(" pin 5 1") << QColor(kInputLow);
        QTest::newRow("state too big") << QByteArray("pin 5 1e99") << QColor(kInputLow);
    }

    void pinReports()
    {
        QFETCH(QByteArray, line);
        QFETCH(QColor, colour);
        pins()->pin_led(5)->setFillColor(kInputLow);
        tick(line + "\n");
        QCOMPARE(pins()->pin_led(5)->fillColor(), colour);
        QCOMPARE(log(), QStringLiteral("received : ") + QString::fromLatin1(line) + QStringLiteral("\r\n\r\n"));
    }

    void outputPinKeepsItsColour()
    {
        QTest::mouseClick(pins()->pin_dir(5), Qt::LeftButton);
        tick("pin 5 1\n");
        QCOMPARE(pins()->pin_led(5)->fillColor(), kOutputLow);
        QVERIFY(log().endsWith(QStringLiteral("received : pin 5 1\r\n\r\n")));
    }

    void pinsOutsideTheBoardChangeNothing()
    {
        program().main->subWindowOf(pins())->close();
        Program::flushDeletes();
        tick("pin 19 1\npin 0 1\npin 5\n");
        QVERIFY(!program().main->existingDigitalPins());
        QCOMPARE(log(),
                 QStringLiteral("received : pin 19 1\r\n\r\nreceived : pin 0 1\r\n\r\nreceived : pin 5\r\n\r\n"));
    }

    void analogReports()
    {
        analog()->CheckADC(3)->setChecked(true);
        tick("adc 3 200\n");
        QCOMPARE(analog()->ADCbar(3)->value(), 200);
        QCOMPARE(analog()->ADCLabel(3)->text(), QStringLiteral("200"));
        QCOMPARE(log(), QString()); // consumed

        tick("adc 3 12xyz\nadc 3 300\n");
        QCOMPARE(analog()->ADCLabel(3)->text(), QStringLiteral("300"));
        QCOMPARE(analog()->ADCbar(3)->value(), 255);
        tick("adc 3 -9\n");
        QCOMPARE(analog()->ADCbar(3)->value(), 0);
        QCOMPARE(analog()->ADCLabel(3)->text(), QStringLiteral("-9"));

        tick("adc 3 99999999999\nadc 9 5\nadc\n");
        QCOMPARE(analog()->ADCLabel(3)->text(), QStringLiteral("-9"));
        QCOMPARE(log(), QStringLiteral("received : adc 3 99999999999\r\n\r\nreceived : adc 9 5\r\n\r\n"
                                       "received : adc\r\n\r\n"));
    }

    void unmonitoredReadingIsLoggedAndBlankedNextTick()
    {
        tick("adc 3 200\n");
        QCOMPARE(analog()->ADCbar(3)->value(), 200);
        QCOMPARE(log(), QStringLiteral("received : adc 3 200\r\n\r\n"));
        tick();
        QCOMPARE(analog()->ADCbar(3)->value(), 0);
        QCOMPARE(analog()->ADCLabel(3)->text(), QString());
    }

    void debounceIsLoggedAndTheNextLineHandled()
    {
        tick("debounce 4 count reset 17\npin 6 1\n");
        QCOMPARE(log(), QStringLiteral("received : debounce 4 count reset 17\r\n\r\nreceived : pin 6 1\r\n\r\n"));
        QCOMPARE(pins()->pin_led(6)->fillColor(), kInputHigh);
    }

    void reportsCreateClosedWindowsWithoutTickingTheirItems()
    {
        program().main->subWindowOf(pins())->close();
        program().main->subWindowOf(analog())->close();
        Program::flushDeletes();
        tick("pin 7 1\nadc 4 50\n");
        formDigitalPins *created = program().main->existingDigitalPins();
        QVERIFY(created && created->isVisible());
        QCOMPARE(created->pin_led(7)->fillColor(), kInputHigh);
        QCOMPARE(created->pin_led(8)->fillColor(), kInputLow);
        QVERIFY(!program().main->isViewChecked(View::DigitalPins));
        QCOMPARE(appState().viewDig, 0);

        formAnalogLevels *meters = program().main->existingAnalogLevels();
        QVERIFY(meters && meters->isVisible());
        QCOMPARE(meters->ADCbar(4)->value(), 50);
        QVERIFY(!program().main->isViewChecked(View::AnalogLevels));
        QCOMPARE(appState().viewAna, 0);
        QVERIFY(log().endsWith(QStringLiteral("received : adc 4 50\r\n\r\n")));

        // With its View item unticked, ticking a box sends nothing.
        meters->CheckADC(4)->setChecked(true);
        program().driver.clearCalls();
        tick();
        QVERIFY(program().driver.writes().isEmpty());
    }

    void endlessLineIsLoggedInPieces()
    {
        tick(QByteArray(70000, 'x') + "\n");
        const QString x = QStringLiteral("received : ");
        QCOMPARE(log(), x + QString(65536, u'x') + QStringLiteral("\r\n\r\n") + x + QString(70000 - 65536, u'x') +
                            QStringLiteral("\r\n\r\n"));
    }

    void newWindowStartsWithNoPendingLine()
    {
        tick("half a li");
        clearLog();
        QCOMPARE(com()->pendingLine, QString());
        com()->TimerBackgound()->stop();
        tick("ne\n");
        QCOMPARE(program().log(), QStringLiteral("received : ne\r\n\r\n"));
    }

    void readsAreBoundedAndClaimsNotBelieved()
    {
        program().driver.statusOverride = 0x7FFFFFFF;
        program().driver.readClaims = 1 << 30;
        tick("pin 2 1\n");
        QCOMPARE(program().driver.calls.back().size, formCommunications::kMaxReadPerTick);
        // Only the bytes asked for are looked at, and the garbage beyond the real eight are zero bytes.
        QVERIFY(log().startsWith(QStringLiteral("received : pin 2 1\r\n\r\n")));
        QCOMPARE(pins()->pin_led(2)->fillColor(), kInputHigh);
    }
};

QTEST_MAIN(TestReceivePath)
#include "tst_receive_path.moc"
