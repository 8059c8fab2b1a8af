#include "program.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/digital_pins/pin_colours.h"
#include "windows/digital_pins/shapes.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>

// What the main window makes of the board's reports: windows created for them while absent, their View items left
// unticked; a meter window hidden from its View item left alone; a lost board in the log and the status bar.
class TestReportDisplay : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Program> m_program;

    Program &program() { return *m_program; }
    formCommunications *com() { return m_program->com(); }
    formAnalogLevels *analog() { return m_program->main->view<formAnalogLevels>(); }
    formDigitalPins *pins() { return m_program->main->view<formDigitalPins>(); }

    void tick(const QByteArray &bytes = {})
    {
        if (!bytes.isEmpty())
            program().driver.queue(bytes);
        com()->TimerBackgound_Timer();
    }

    // The log after the selection line, which every test starts with.
    QString log() { return program().log().mid(QStringLiteral("Device selected : A1B2\r\n").size()); }

private Q_SLOTS:
    void init()
    {
        m_program = std::make_unique<Program>(QStringList{"A1B2"});
        com()->DevicesList()->setCurrentRow(0);
        com()->DevicesList_Click();
        program().driver.clearCalls();
    }

    void cleanup() { m_program.reset(); }

    void hiddenAnalogWindowIsLeftAlone()
    {
        analog()->CheckADC(1)->setChecked(true);
        analog()->showReading(3, 50);
        program().main->viewToggle(formAnalogLevels::kView);
        tick();
        QVERIFY(program().driver.writes().isEmpty());
        QCOMPARE(analog()->ADCbar(3)->value(), 50);
        program().main->viewToggle(formAnalogLevels::kView);
        tick();
        QCOMPARE(program().driver.writes(), QList<QByteArray>{"adc  1\n"});
    }

    void reportsCreateClosedWindowsWithoutTickingTheirItems()
    {
        program().main->subWindowOf(pins())->close();
        program().main->subWindowOf(analog())->close();
        Program::flushDeletes();
        tick("pin 19 1\n");
        QVERIFY(!program().main->existingView<formDigitalPins>());
        tick("pin 7 1\nadc 4 50\n");
        formDigitalPins *created = program().main->existingView<formDigitalPins>();
        QVERIFY(created && created->isVisible());
        QCOMPARE(created->pin_led(7)->fillColor(), kInputHigh);
        QCOMPARE(created->pin_led(8)->fillColor(), kInputLow);
        QVERIFY(!program().main->isViewChecked(formDigitalPins::kView));
        QCOMPARE(program().main->appState().viewDig, 0);

        formAnalogLevels *meters = program().main->existingView<formAnalogLevels>();
        QVERIFY(meters && meters->isVisible());
        QCOMPARE(meters->ADCbar(4)->value(), 50);
        QVERIFY(!program().main->isViewChecked(formAnalogLevels::kView));
        QCOMPARE(program().main->appState().viewAna, 0);
        QVERIFY(log().endsWith(QStringLiteral("received : adc 4 50\r\n\r\n")));

        // With its View item unticked, ticking a box sends nothing.
        meters->CheckADC(4)->setChecked(true);
        program().driver.clearCalls();
        tick();
        QVERIFY(program().driver.writes().isEmpty());
    }

    void aLostBoardIsShownInTheLogAndTheStatusBar()
    {
        QTest::mouseClick(pins()->pin_dir(4), Qt::LeftButton);
        pins()->Check1(6)->setChecked(true);
        program().driver.failStatus = true;
        program().driver.serials.clear();
        tick();
        tick();
        QCOMPARE(program().main->statusText(), QStringLiteral("Device lost : A1B2"));
        QVERIFY(program().log().endsWith(QStringLiteral("pin  4 output\r\nDevice lost : A1B2\r\n")));
        // Back: the pins window's outputs and ticked boxes are put back on the board.
        program().driver.failStatus = false;
        program().driver.serials = {QStringLiteral("A1B2")};
        program().driver.clearCalls();
        QTRY_VERIFY_WITH_TIMEOUT((tick(), program().driver.count(DriverCall::Create) == 1), 3000);
        QCOMPARE(program().main->statusText(), QStringLiteral("Device selected : A1B2"));
        QCOMPARE(program().driver.writes(),
                 QList<QByteArray>({"pin  4 clear\r\n", "pin  4 output\r\n", "pin  6 monitor on\n"}));
    }
};

QTEST_MAIN(TestReportDisplay)
#include "tst_report_display.moc"
