#include "device/board_commands.h"
#include "device/code_page.h"
#include "device/comms.h"
#include "recording_driver.h"

#include <QTest>

class TestTransmitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesToTheHandleHeldNow_data()
    {
        QTest::addColumn<std::intptr_t>("handle");
        QTest::newRow("no board selected yet") << std::intptr_t(0);
        QTest::newRow("failed open") << kInvalidHandle;
        QTest::newRow("open board") << std::intptr_t(0x7fff12345678);
    }

    void writesToTheHandleHeldNow()
    {
        QFETCH(std::intptr_t, handle);
        RecordingDriver driver;
        QVERIFY(SendCommand(driver, handle, u"reset\r\n"));
        QCOMPARE(driver.calls.size(), size_t(1));
        QCOMPARE(driver.calls[0].kind, DriverCall::Write);
        QCOMPARE(driver.calls[0].handle, handle);
        QCOMPARE(driver.calls[0].bytes, QByteArray("reset\r\n"));
    }

    void aFailedWriteIsNotRetried()
    {
        RecordingDriver driver;
        driver.failWrite = true;
        QVERIFY(!SendCommand(driver, 100, u"id\r\n"));
        QCOMPARE(driver.count(DriverCall::Write), 1);
    }

    // Every text the program sends, byte for byte, with its own terminator.
    void commandTexts_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("identity") << identityCommand() << QByteArray("id\r\n");
        QTest::newRow("led on") << ledCommand(true) << QByteArray("led on\n");
        QTest::newRow("led off") << ledCommand(false) << QByteArray("led off\n");
        QTest::newRow("reset") << resetCommand() << QByteArray("reset\r\n");
        QTest::newRow("typed") << typedCommand(u"led on") << QByteArray("led on\r\n");
        QTest::newRow("typed empty") << typedCommand(u"") << QByteArray("\r\n");
        QTest::newRow("script") << scriptCommand(u"A\r\nB") << QByteArray("A\r\nB\r\n");
        QTest::newRow("pin input") << pinCommand(7, PinAction::Input) << QByteArray("pin  7 input\r\n");
        QTest::newRow("pin output") << pinCommand(7, PinAction::Output) << QByteArray("pin  7 output\r\n");
        QTest::newRow("pin set") << pinCommand(18, PinAction::Set) << QByteArray("pin  18 set\r\n");
        QTest::newRow("pin clear") << pinCommand(1, PinAction::Clear) << QByteArray("pin  1 clear\r\n");
        QTest::newRow("monitor on") << pinCommand(12, PinAction::MonitorOn) << QByteArray("pin  12 monitor on\n");
        QTest::newRow("monitor off") << pinCommand(12, PinAction::MonitorOff) << QByteArray("pin  12 monitor off\n");
        QTest::newRow("logged text") << pinCommandText(3, PinAction::Clear) << QByteArray("pin  3 clear");
        QTest::newRow("no analog request") << analogRequests({}) << QByteArray();
        QTest::newRow("analog 1 and 3") << analogRequests(0b1010) << QByteArray("adc  1\nadc  3\n");
        QTest::newRow("analog 8 and 2") << analogRequests(0b100000100) << QByteArray("adc  2\nadc  8\n");
    }

    void commandTexts()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        QCOMPARE(toCodePage(command), bytes);
    }

    void everyByteSurvivesTheCodePage()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = fromCodePage(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(toCodePage(text), all);
    }

    void charactersWithoutAByteBecomeOneQuestionMark()
    {
        const QString text = QStringLiteral("a") + QChar(0x2192) + QString::fromUtf8("\xF0\x9F\x98\x80") + u'b';
        QCOMPARE(toCodePage(text), QByteArray("a??b"));
        // A lone half of a pair has no byte either.
        QCOMPARE(toCodePage(QString(QChar(0xD800))), QByteArray("?"));
    }
};

QTEST_GUILESS_MAIN(TestTransmitter)
#include "tst_transmitter.moc"
