#include "program.h"
#include "windows/digital_pins/pin_colours.h"
#include "windows/digital_pins/shapes.h"

#include <QLineEdit>
#include <QPushButton>

// Each driver call failing in turn, and drivers that misreport: the program keeps running, its state stays
// consistent and nothing received is silently dropped.
class TestFaultMatrix : public QObject
{
    Q_OBJECT

private:
    static void select(Program &program, int row)
    {
        program.com()->DevicesList()->setCurrentRow(row);
        program.com()->DevicesList_Click();
    }

    static void tick(Program &program) { program.com()->TimerBackgound_Timer(); }

    static QString logAfterSelection(Program &program)
    {
        const QString log = program.log();
        return log.mid(log.indexOf(u'\n') + 1);
    }

private Q_SLOTS:
    void failingCountListsNoDevice()
    {
        Program program({"A1B2"}, false);
        program.driver.failCount = true;
        program.start();
        QCOMPARE(program.com()->DevicesList()->item(0)->text(), QStringLiteral("No devices found."));
        select(program, 0);
        QCOMPARE(appState().deviceHandle, std::intptr_t(100)); // position 0 still answers now
    }

    void failingPositionGivesAnEmptyEntryThatOpensNothing()
    {
        Program program({"A1B2"}, false);
        program.driver.failPositions = {0};
        program.start();
        QCOMPARE(program.com()->DevicesList()->item(0)->text(), QString());
        select(program, 0);
        QCOMPARE(appState().deviceHandle, kInvalidHandle);
        QCOMPARE(program.log(), QStringLiteral("Device selected : \r\n"));
    }

    void failingOpenIsStoredAndCommandsGoNowhere()
    {
        Program program({"A1B2"});
        program.driver.unopenable = {QStringLiteral("A1B2")};
        select(program, 0);
        QCOMPARE(appState().deviceHandle, kInvalidHandle);
        QCOMPARE(program.main->statusText(), QStringLiteral("Device selected : A1B2"));
        QTest::mouseClick(program.com()->findChild<QPushButton *>(QStringLiteral("IdRequest")), Qt::LeftButton);
        QCOMPARE(program.driver.calls.back().handle, kInvalidHandle);
        select(program, 0);
        QCOMPARE(program.driver.count(DriverCall::Close), 0);
    }

    void failingCloseStillMovesToTheNewBoard()
    {
        Program program({"A1B2", "C3D4"});
        select(program, 0);
        program.driver.failClose = true;
        select(program, 1);
        QCOMPARE(program.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(appState().deviceHandle, std::intptr_t(101));
        QCOMPARE(program.main->statusText(), QStringLiteral("Device selected : C3D4"));
        QVERIFY(program.main->close()); // the one open now is closed at exit
        QCOMPARE(program.driver.closes(), QList<std::intptr_t>({100, 101}));
    }

    void failingWritesChangeNothingElse()
    {
        Program program({"A1B2"});
        select(program, 0);
        program.driver.failWrite = true;
        QLineEdit *command = program.com()->command();
        command->setText(QStringLiteral("id"));
        QTest::keyClick(command, Qt::Key_Return);
        formDigitalPins *pins = program.main->digitalPins();
        QTest::mouseClick(pins->pin_dir(2), Qt::LeftButton);
        QCOMPARE(logAfterSelection(program), QStringLiteral(">id\r\npin  2 clear\r\npin  2 output\r\n"));
        QCOMPARE(appState().pinIsOutput[2], 1);
        QCOMPARE(pins->pin_led(2)->fillColor(), kOutputLow);
    }

    void failingStatusOrReadLosesNothing()
    {
        Program program({"A1B2"});
        program.com()->TimerBackgound()->stop();
        select(program, 0);
        program.driver.queue("x");
        program.driver.failStatus = true;
        tick(program);
        program.driver.failStatus = false;
        program.driver.failRead = true;
        tick(program);
        QCOMPARE(logAfterSelection(program), QString()); // not even the lone-byte note
        program.driver.failRead = false;
        program.driver.queue("\n");
        tick(program);
        tick(program);
        QCOMPARE(logAfterSelection(program), QStringLiteral("byte : 120\r\nbyte : 10\r\nreceived : x\r\n\r\n"));
    }

    void shortReadsDeliverEverythingInOrder()
    {
        Program program({"A1B2"});
        program.com()->TimerBackgound()->stop();
        select(program, 0);
        program.driver.queue("pin 1 1\r\nok led on\r\npin 1 0\r\n");
        program.driver.readLimit = 3;
        for (int i = 0; i < 20; ++i)
            tick(program);
        QCOMPARE(logAfterSelection(program),
                 QStringLiteral("received : pin 1 1\r\n\r\nreceived : ok led on\r\n\r\nreceived : pin 1 0\r\n\r\n"));
        QCOMPARE(program.main->digitalPins()->pin_led(1)->fillColor(), kInputLow);
    }

    void overclaimingReadIsNotBelieved()
    {
        Program program({"A1B2"});
        program.com()->TimerBackgound()->stop();
        select(program, 0);
        program.driver.queue("ok\n");
        program.driver.readClaims = 1000;
        tick(program);
        QCOMPARE(logAfterSelection(program), QStringLiteral("received : ok\r\n\r\n"));
        QCOMPARE(program.com()->pendingLine, QString());
    }

    void absurdQueueCountIsReadInBoundedSteps()
    {
        Program program({"A1B2"});
        program.com()->TimerBackgound()->stop();
        select(program, 0);
        const QByteArray many = QByteArray("okay-okay\n").repeated(60'000); // 600,000 bytes
        program.driver.queue(many);
        program.driver.statusOverride = 0x7FFFFFFF;
        tick(program);
        QCOMPARE(program.driver.calls.back().size, formCommunications::kMaxReadPerTick);
        for (int i = 0; i < 3; ++i)
            tick(program);
        QVERIFY(program.driver.chunks.isEmpty());
        QCOMPARE(program.com()->Logbox()->lineCount(), 1 + 2 * 60'000);
    }

    void boardVanishingBetweenStatusAndRead()
    {
        Program program({"A1B2"});
        program.com()->TimerBackgound()->stop();
        select(program, 0);
        program.driver.statusOverride = 40; // reported, then gone
        tick(program);
        QCOMPARE(logAfterSelection(program), QString());
        // A lone byte reported and not delivered is noted as the note always is, from the fresh buffer.
        program.driver.statusOverride = 1;
        tick(program);
        QCOMPARE(logAfterSelection(program), QStringLiteral("byte : 0\r\n"));
        QCOMPARE(program.com()->pendingLine, QString());
    }

    void everyCallFailingAtOnce()
    {
        Program program({"A1B2"}, false);
        RecordingDriver &driver = program.driver;
        driver.failCount = driver.failClose = driver.failWrite = driver.failStatus = driver.failRead = true;
        driver.failPositions = {0};
        driver.unopenable = {QStringLiteral("A1B2")};
        program.start();
        select(program, 0);
        QTest::mouseClick(program.com()->findChild<QPushButton *>(QStringLiteral("LedOn")), Qt::LeftButton);
        QTest::mouseClick(program.main->digitalPins()->pin_dir(9), Qt::LeftButton);
        program.main->runScript_Click();
        tick(program);
        QCOMPARE(appState().deviceHandle, kInvalidHandle);
        QVERIFY(program.main->close());
        QVERIFY(QFile::exists(program.path(QStringLiteral("database.ini"))));
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_fault_matrix.moc"
