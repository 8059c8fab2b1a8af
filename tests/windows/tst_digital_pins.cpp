#include "fake_workspace.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/digital_pins/pin_colours.h"
#include "windows/digital_pins/shapes.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// The digital pins window on a workspace of its own: the commands each control sends, in order and byte for byte,
// what is logged, the colours and captions left standing, and the levels the board reports.
class TestDigitalPins : public QObject
{
    Q_OBJECT

private:
    static QColor colour(formDigitalPins *pins, int pin) { return pins->pin_led(pin)->fillColor(); }

    static void clickIndicator(formDigitalPins *pins, int pin)
    {
        QTest::mouseClick(pins->pin_led_frame(pin), Qt::LeftButton, {}, pins->pin_led(pin)->geometry().center());
    }

    static void tick(QCheckBox *box)
    {
        // A click in the middle of a wide check box can miss it; Space toggles it as the operator would.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
    }

private Q_SLOTS:
    void startsWithEveryPinAnInput()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        QCOMPARE(pins->windowTitle(), QStringLiteral("Digital Pins"));
        for (int pin = 1; pin <= 18; ++pin) {
            QCOMPARE(colour(pins, pin), kInputLow);
            QCOMPARE(pins->pin_dir(pin)->text(), QStringLiteral("I"));
            QCOMPARE(pins->pin_dir(pin)->toolTip(), QStringLiteral("Pin is an Input, click to select as Output"));
            QCOMPARE(pins->pin_led_frame(pin)->toolTip(), QStringLiteral("Dark = low state, Bright = high state"));
            QCOMPARE(pins->pin_led_frame(pin)->frameShape(), QFrame::NoFrame);
            QVERIFY(!pins->Check1(pin)->isChecked());
            QCOMPARE(pins->Check1(pin)->text(), QString::number(pin));
            QCOMPARE(pins->pin_led(pin)->accessibleDescription(), QStringLiteral("pin_led_%1").arg(pin));
            QCOMPARE(pins->pin_led(pin)->accessibleName(), QStringLiteral("Pin %1 level").arg(pin));
        }
        QCOMPARE(pins->findChild<QLabel *>(QStringLiteral("pin_label_7"))->text(), QStringLiteral(" 7"));
        QCOMPARE(pins->findChild<QLabel *>(QStringLiteral("pin_label_12"))->text(), QStringLiteral("12"));
        QVERIFY(workspace.driver.writes().isEmpty());
    }

    void boardLayoutFollowsTheBoard()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        // Upper row 18..9 left to right, lower row 1..8; pin 8 under pin 9 and pin 1 under pin 16.
        for (int pin = 18; pin > 9; --pin)
            QVERIFY(pins->pin_led_frame(pin)->x() < pins->pin_led_frame(pin - 1)->x());
        for (int pin = 1; pin < 8; ++pin)
            QVERIFY(pins->pin_led_frame(pin)->x() < pins->pin_led_frame(pin + 1)->x());
        QCOMPARE(pins->pin_dir(8)->x(), pins->pin_dir(9)->x());
        QCOMPARE(pins->pin_dir(1)->x(), pins->pin_dir(16)->x());
        QVERIFY(pins->pin_led_frame(1)->y() > pins->pin_led_frame(16)->y());
    }

    void makingAPinAnOutputSendsLevelThenDirection()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        QTest::mouseClick(pins->pin_dir(3), Qt::LeftButton);
        QCOMPARE(workspace.driver.writes(), QList<QByteArray>({"pin  3 clear\r\n", "pin  3 output\r\n"}));
        QCOMPARE(workspace.told.logText(), QStringLiteral("pin  3 clear\r\npin  3 output\r\n"));
        QCOMPARE(pins->pin_dir(3)->text(), QStringLiteral("O"));
        QCOMPARE(pins->pin_dir(3)->toolTip(), QStringLiteral("Pin is an Output, click to select as Input"));
        QCOMPARE(colour(pins, 3), kOutputLow);
        QCOMPARE(workspace.session().setup().pinIsOutput[3], 1);
    }

    void indicatorOfAnOutputTogglesItsLevel()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        QTest::mouseClick(pins->pin_dir(3), Qt::LeftButton);
        workspace.driver.clearCalls();
        clickIndicator(pins, 3);
        QCOMPARE(colour(pins, 3), kOutputHigh);
        clickIndicator(pins, 3);
        QCOMPARE(colour(pins, 3), kOutputLow);
        QCOMPARE(workspace.driver.writes(), QList<QByteArray>({"pin  3 set\r\n", "pin  3 clear\r\n"}));
        QVERIFY(workspace.told.logText().endsWith(QStringLiteral("pin  3 set\r\npin  3 clear\r\n")));
    }

    void outputAgainUsesTheLevelLastCommanded()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        QTest::mouseClick(pins->pin_dir(3), Qt::LeftButton);
        clickIndicator(pins, 3); // set
        workspace.driver.clearCalls();
        QTest::mouseClick(pins->pin_dir(3), Qt::LeftButton); // back to input
        QCOMPARE(colour(pins, 3), kInputLow);
        QCOMPARE(pins->pin_dir(3)->text(), QStringLiteral("I"));
        QTest::mouseClick(pins->pin_dir(3), Qt::LeftButton); // output again
        QCOMPARE(workspace.driver.writes(),
                 QList<QByteArray>({"pin  3 input\r\n", "pin  3 set\r\n", "pin  3 output\r\n"}));
        QCOMPARE(colour(pins, 3), kOutputHigh);
    }

    void indicatorOfAnInputIsDisplayOnly()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        clickIndicator(pins, 5);
        QVERIFY(workspace.driver.writes().isEmpty());
        QCOMPARE(colour(pins, 5), kInputLow);
        QCOMPARE(workspace.session().setup().pinOutputLevel[5], 0);
    }

    void monitoringBoxesSendWithLfAloneAndLogNothing()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        tick(pins->Check1(12));
        tick(pins->Check1(12));
        QCOMPARE(workspace.driver.writes(), QList<QByteArray>({"pin  12 monitor on\n", "pin  12 monitor off\n"}));
        QCOMPARE(workspace.told.logText(), QString());
    }

    void allAndNoneSendOnlyForBoxesThatChange()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        pins->Check1(1)->setChecked(true);
        pins->Check1(2)->setChecked(true);
        workspace.driver.clearCalls();
        QTest::mouseClick(pins->findChild<QPushButton *>(QStringLiteral("MonitorAll")), Qt::LeftButton);
        QList<QByteArray> expected;
        for (int pin = 3; pin <= 18; ++pin)
            expected.append("pin  " + QByteArray::number(pin) + " monitor on\n");
        QCOMPARE(workspace.driver.writes(), expected);

        workspace.driver.clearCalls();
        QTest::mouseClick(pins->findChild<QPushButton *>(QStringLiteral("MonitorAll")), Qt::LeftButton);
        QVERIFY(workspace.driver.writes().isEmpty());

        pins->Check1(7)->setChecked(false);
        workspace.driver.clearCalls();
        QTest::mouseClick(pins->findChild<QPushButton *>(QStringLiteral("MonitorNone")), Qt::LeftButton);
        QCOMPARE(workspace.driver.writes().size(), 17);
        QCOMPARE(workspace.driver.writes().first(), QByteArray("pin  1 monitor off\n"));
        QVERIFY(!workspace.driver.writes().contains("pin  7 monitor off\n"));
    }

    void closingSendsNothingAndReopeningRedrawsFromTheState()
    {
        FakeWorkspace workspace;
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        QTest::mouseClick(pins->pin_dir(4), Qt::LeftButton);
        clickIndicator(pins, 4);
        tick(pins->Check1(6));
        workspace.driver.clearCalls();
        QVERIFY(pins->close());
        FakeWorkspace::flushDeletes();
        QVERIFY(workspace.driver.writes().isEmpty());
        QCOMPARE(workspace.closed, QStringList{"digitalPins"});
        QCOMPARE(workspace.session().setup().pinIsOutput[4], 1);

        pins = workspace.open<formDigitalPins>();
        // Pin 4 is still an output at the board: the new window says so.
        QCOMPARE(pins->pin_dir(4)->text(), QStringLiteral("O"));
        QCOMPARE(colour(pins, 4), kOutputHigh);
        QCOMPARE(colour(pins, 5), kInputLow);
        QVERIFY(!pins->Check1(6)->isChecked());
        QVERIFY(workspace.driver.writes().isEmpty());
        QTest::mouseClick(pins->pin_dir(4), Qt::LeftButton);
        QCOMPARE(workspace.driver.writes(), QList<QByteArray>{"pin  4 input\r\n"});
    }

    // The runner, a plan or a reconnection changes the set-up through the session: the windows show it, and
    // showing it sends nothing more.
    void theSessionsSetupShowsInTheWindows()
    {
        FakeWorkspace workspace({"A1B2"});
        BoardSession &session = workspace.session();
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        formAnalogLevels *analog = workspace.open<formAnalogLevels>();
        session.makePinOutput(4);
        session.setPinLevel(4, true);
        session.setPinMonitored(6, true);
        session.setChannelTicked(3, true);
        QCOMPARE(workspace.driver.writes(),
                 QList<QByteArray>({"pin  4 clear\r\n", "pin  4 output\r\n", "pin  4 set\r\n", "pin  6 monitor on\n"}));
        QCOMPARE(pins->pin_dir(4)->text(), QStringLiteral("O"));
        QCOMPARE(colour(pins, 4), kOutputHigh);
        QVERIFY(pins->Check1(6)->isChecked());
        QVERIFY(analog->CheckADC(3)->isChecked());

        session.makePinInput(4);
        session.setPinMonitored(6, false);
        session.setChannelTicked(3, false);
        QCOMPARE(pins->pin_dir(4)->text(), QStringLiteral("I"));
        QCOMPARE(colour(pins, 4), kInputLow);
        QVERIFY(!pins->Check1(6)->isChecked());
        QVERIFY(!analog->CheckADC(3)->isChecked());
        QCOMPARE(workspace.driver.writes().size(), 6);

        // The boxes are the operator's way in: ticking one asks the session.
        tick(analog->CheckADC(5));
        QVERIFY(session.setup().isTicked(5));
        // Closing a window forgets what only its boxes held; the board is told nothing.
        tick(pins->Check1(9));
        workspace.driver.clearCalls();
        pins->close();
        analog->close();
        QVERIFY(session.setup().monitoredPins.none());
        QVERIFY(session.setup().tickedChannels.none());
        QVERIFY(workspace.driver.writes().isEmpty());
    }

    void indicatorsFollowInputReports()
    {
        FakeWorkspace workspace({"A1B2"});
        formDigitalPins *pins = workspace.open<formDigitalPins>();
        workspace.host().select(0);
        workspace.told.clear();
        const auto receive = [&workspace](const QByteArray &bytes) {
            workspace.driver.queue(bytes);
            workspace.session().poll();
        };
        receive("pin 5 1\r\n");
        QCOMPARE(colour(pins, 5), kInputHigh);
        receive("pin 5 0\n");
        QCOMPARE(colour(pins, 5), kInputLow);
        QCOMPARE(workspace.told.logText(), QStringLiteral("received : pin 5 1\r\n\r\nreceived : pin 5 0\r\n\r\n"));

        QTest::mouseClick(pins->pin_dir(5), Qt::LeftButton);
        receive("pin 5 1\n");
        QCOMPARE(colour(pins, 5), kOutputLow);
    }
};

QTEST_MAIN(TestDigitalPins)
#include "tst_digital_pins.moc"
