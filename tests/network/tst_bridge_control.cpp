#include "network/bridge_control.h"
#include "network/mqtt_client.h"

#include <QTest>

// Control messages from the network: what each topic and payload asks, and what is refused.
class TestBridgeControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlMessages_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("read"); // "kind serial pin on text", or "refused: reason"
        QTest::newRow("send") << "vantrel/B1/send" << QByteArray("id") << "send B1 0 0 id";
        QTest::newRow("send keeps blanks")
            << "vantrel/B1/send" << QByteArray(" pin 3 set ") << "send B1 0 0  pin 3 set ";
        QTest::newRow("pin high") << "vantrel/B1/pin/18/set" << QByteArray("1") << "pinset B1 18 1 ";
        QTest::newRow("pin low") << "vantrel/B1/pin/1/set" << QByteArray("0\n") << "pinset B1 1 0 ";
        QTest::newRow("monitor") << "vantrel/B1/pin/7/monitor" << QByteArray("ON") << "monitor B1 7 1 ";
        QTest::newRow("led") << "vantrel/B1/led/set" << QByteArray("off") << "led B1 0 0 ";
        QTest::newRow("line break") << "vantrel/B1/send" << QByteArray("id\r\nreset")
                                    << "refused: the command holds a line break";
        QTest::newRow("too long") << "vantrel/B1/send" << QByteArray(2000, 'a')
                                  << "refused: the command is longer than 1024 characters";
        QTest::newRow("not utf-8") << "vantrel/B1/send" << QByteArray("\xff\xfe")
                                   << "refused: the command is not UTF-8 text";
        QTest::newRow("pin 19") << "vantrel/B1/pin/19/set" << QByteArray("1") << "refused: no pin 19";
        QTest::newRow("pin +3") << "vantrel/B1/pin/+3/set" << QByteArray("1") << "refused: no pin +3";
        QTest::newRow("pin level 2") << "vantrel/B1/pin/3/set" << QByteArray("2") << "refused: pin/N/set takes 1 or 0";
        QTest::newRow("led maybe") << "vantrel/B1/led/set" << QByteArray("maybe") << "refused: led/set takes on or off";
        QTest::newRow("other prefix") << "other/B1/send" << QByteArray("id") << "refused: not under the topic prefix";
        QTest::newRow("prefix alone") << "vantrel" << QByteArray("id") << "refused: not under the topic prefix";
        QTest::newRow("prefix look-alike")
            << "vantrelx/B1/send" << QByteArray("id") << "refused: not under the topic prefix";
        QTest::newRow("no board") << "vantrel//send" << QByteArray("id") << "refused: no board named";
        QTest::newRow("reading topic") << "vantrel/B1/adc/1" << QByteArray("7") << "refused: not a control topic";
    }

    void controlMessages()
    {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(QString, read);
        QString why;
        const std::optional<BridgeControl> control = parseBridgeControl(u"vantrel", topic, payload, &why);
        if (!control) {
            QCOMPARE(QStringLiteral("refused: ") + why, read);
            return;
        }
        static const char *const kKinds[] = {"send", "pinset", "monitor", "led"};
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QLatin1String(kKinds[int(control->kind)]), control->serial)
                     .arg(control->pin)
                     .arg(int(control->on))
                     .arg(control->text),
                 read);
    }

    void brokerAddresses()
    {
        QCOMPARE(parseBrokerUrl(QStringLiteral("mqtt://127.0.0.1"))->port, 1883);
        QCOMPARE(parseBrokerUrl(QStringLiteral("mqtts://broker.lab:9000"))->port, 9000);
        QVERIFY(parseBrokerUrl(QStringLiteral("mqtts://broker.lab"))->tls);
        QCOMPARE(parseBrokerUrl(QStringLiteral("mqtts://broker.lab"))->port, 8883);
        QVERIFY(parseBrokerUrl(QStringLiteral("mqtt://localhost:1883"))->isLoopback());
        QVERIFY(!parseBrokerUrl(QStringLiteral("mqtt://10.0.0.2"))->isLoopback());
        for (const char *bad : {"http://host", "mqtt://", "host:1883", "mqtt://host:0", "mqtt://host/path"})
            QVERIFY2(!parseBrokerUrl(QString::fromLatin1(bad)), bad);
    }
};

QTEST_GUILESS_MAIN(TestBridgeControl)
#include "tst_bridge_control.moc"
