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
        const QString text = QStringLiteral("a") + QChar(0x20AC) + QString::fromUtf8("\xF0\x9F\x98\x80") + u'b';
        QCOMPARE(toCodePage(text), QByteArray("a??b"));
        // A lone half of a pair has no byte either.
        QCOMPARE(toCodePage(QString(QChar(0xD800))), QByteArray("?"));
    }
};

QTEST_GUILESS_MAIN(TestTransmitter)
#include "tst_transmitter.moc"
