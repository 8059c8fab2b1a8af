#include "fake_workspace.h"
#include "windows/analog_levels/form_analog_levels.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

// The analog levels window on a workspace of its own: its meters, labels and boxes, the readings shown clamped, the
// ticked channels requested and the others blanked.
class TestAnalogLevels : public QObject
{
    Q_OBJECT

private:
    // A board selected, the window shown through its View item, and a poll that takes `bytes`.
    struct Rig {
        FakeWorkspace workspace{QStringList{"A1B2"}};
        formAnalogLevels *analog = workspace.open<formAnalogLevels>();

        Rig()
        {
            workspace.host().select(0);
            analog->viewFlagChanged(true);
            workspace.driver.clearCalls();
            workspace.told.clear();
        }
        void poll(const QByteArray &bytes = {})
        {
            if (!bytes.isEmpty())
                workspace.driver.queue(bytes);
            workspace.session().poll();
        }
    };

private Q_SLOTS:
    void startsEmpty()
    {
        FakeWorkspace workspace;
        auto *analog = workspace.open<formAnalogLevels>();
        QCOMPARE(analog->windowTitle(), QStringLiteral("Analog Inputs"));
        for (int k = 1; k <= 8; ++k) {
            QCOMPARE(analog->ADCbar(k)->value(), 0);
            QCOMPARE(analog->ADCbar(k)->maximum(), 255);
            QCOMPARE(analog->ADCbar(k)->orientation(), Qt::Vertical);
            QCOMPARE(analog->ADCbar(k)->toolTip(), QStringLiteral("Analog input vu-meter"));
            QCOMPARE(analog->ADCLabel(k)->text(), QString());
            QCOMPARE(analog->ADCLabel(k)->accessibleDescription(), QStringLiteral("ADCLabel_%1").arg(k));
            QVERIFY(analog->ADCLabel(k)->accessibleName().isEmpty());
            QVERIFY(!analog->CheckADC(k)->isChecked());
            QCOMPARE(analog->findChild<QLabel *>(QStringLiteral("Label2_%1").arg(k))->text(),
                     u' ' + QString::number(k));
        }
        analog->showReading(3, 300);
        QCOMPARE(analog->ADCbar(3)->value(), 255);
        QCOMPARE(analog->ADCLabel(3)->text(), QStringLiteral("300"));
        analog->showReading(3, -4);
        QCOMPARE(analog->ADCbar(3)->value(), 0);
        QCOMPARE(analog->ADCLabel(3)->text(), QStringLiteral("-4"));
    }

    void metersShowReadingsClampedAndLabelsTheNumber()
    {
        Rig rig;
        formAnalogLevels *analog = rig.analog;
        analog->CheckADC(3)->setChecked(true);
        rig.poll("adc 3 200\n");
        QCOMPARE(analog->ADCbar(3)->value(), 200);
        QCOMPARE(analog->ADCLabel(3)->text(), QStringLiteral("200"));
        QCOMPARE(rig.workspace.told.logText(), QString()); // consumed
        rig.poll("adc 3 300\n");
        QCOMPARE(analog->ADCbar(3)->value(), 255);
        QCOMPARE(analog->ADCLabel(3)->text(), QStringLiteral("300"));
        rig.poll("adc 3 -9\n");
        QCOMPARE(analog->ADCbar(3)->value(), 0);
        QCOMPARE(analog->ADCLabel(3)->text(), QStringLiteral("-9"));
    }

    void tickedChannelsAreRequestedAndTheRestBlanked()
    {
        Rig rig;
        formAnalogLevels *analog = rig.analog;
        analog->CheckADC(8)->setChecked(true);
        analog->CheckADC(2)->setChecked(true);
        analog->showReading(2, 7);
        analog->showReading(4, 99);
        rig.poll();
        QCOMPARE(rig.workspace.driver.writes(), QList<QByteArray>{"adc  2\nadc  8\n"});
        QCOMPARE(analog->ADCLabel(2)->text(), QStringLiteral("7"));
        QCOMPARE(analog->ADCbar(4)->value(), 0);
        QCOMPARE(analog->ADCLabel(4)->text(), QString());
    }
};

QTEST_MAIN(TestAnalogLevels)
#include "tst_analog_levels.moc"
