#include "broker_fixture.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>

// vantrel-cli serve against a broker of the test's own: topics and payloads, the retained status and the last will,
// control allowed and ignored, the audit line, a broker that is not there, and the usage errors.
class TestBridgeProcess : public QObject, public BrokerFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        startOwnBroker();
        QVERIFY(m_broker && m_broker->state() == QProcess::Running);
    }

    void cleanupTestCase() { stopOwnBroker(); }

    void readingsLinesEventsAndControl()
    {
        const auto sub = subscribe();
        const auto bridge = serve({"--board", "DEMO0001", "--adc", "1", "--pins", "5", "--allow-control"});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "vantrel/DEMO0001/status online\n"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "vantrel/DEMO0001/adc/1 "), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "vantrel/DEMO0001/pin/5 "), 5000);
        QVERIFY(out.contains("vantrel/bridges/"));
        QVERIFY(publish(QStringLiteral("vantrel/DEMO0001/send"), "id"));
        QTRY_VERIFY_WITH_TIMEOUT(
            seen(*sub, out, "vantrel/DEMO0001/line Vantrel USB I/O board DEMO0001 (simulated) firmware 3.0\n"), 5000);
        // Every command from the network is said.
        QByteArray err;
        QTRY_VERIFY((err += bridge->readAllStandardError()).contains("control vantrel/DEMO0001/send \"id\""));
        // Each event is one JSON object in the records' schema.
        const qsizetype at = out.indexOf("vantrel/DEMO0001/event {");
        QVERIFY(at >= 0);
        const QByteArray json = out.mid(at + 23, out.indexOf('\n', at) - at - 23);
        const QJsonObject event = QJsonDocument::fromJson(json).object();
        QCOMPARE(event.value("board").toString(), QStringLiteral("DEMO0001"));
        QVERIFY(event.contains("time") && event.contains("t_ms") && event.contains("kind"));

        ::kill(pid_t(bridge->processId()), SIGTERM);
        QVERIFY(bridge->waitForFinished(10000));
        QCOMPARE(bridge->exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "vantrel/DEMO0001/status offline\n"), 5000);
    }

    void aKilledBridgeReadsOffline()
    {
        const auto bridge = serve({"--board", "DEMO0002"});
        {
            const auto sub = subscribe(QStringLiteral("vantrel/DEMO0002/status"));
            QByteArray out;
            QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "online"), 10000);
        }
        ::kill(pid_t(bridge->processId()), SIGKILL);
        bridge->waitForFinished(5000);
        // The broker says it for the bridge: its last will, kept for whoever looks later.
        QTest::qWait(500);
        const auto sub = subscribe(QStringLiteral("vantrel/DEMO0002/status"));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "vantrel/DEMO0002/status offline"), 5000);
    }

    void controlWithoutAllowIsIgnoredAndSaidOnce()
    {
        const auto sub = subscribe();
        const auto bridge = serve({"--board", "DEMO0001"});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "vantrel/DEMO0001/status online"), 10000);
        QVERIFY(publish(QStringLiteral("vantrel/DEMO0001/send"), "id"));
        QVERIFY(publish(QStringLiteral("vantrel/DEMO0001/led/set"), "on"));
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += bridge->readAllStandardError()).contains("ignored without --allow-control"),
                                 10000);
        QTest::qWait(300);
        seen(*sub, out, "");
        QVERIFY(!out.contains("firmware") && !out.contains("ok led on"));
        ::kill(pid_t(bridge->processId()), SIGINT);
        QVERIFY(bridge->waitForFinished(10000));
        QCOMPARE(bridge->exitCode(), 0);
        err += bridge->readAllStandardError();
        QCOMPARE(err.count("ignored without --allow-control"), 1);
    }

    void homeAssistantFindsTheBoardAndLosesItAtTheEnd()
    {
        const auto bridge = serve({"--board", "DEMO0001", "--pins", "3", "--allow-control", "--ha-discovery"});
        const QString configs = QStringLiteral("homeassistant/+/vantrel_DEMO0001/+/config");
        {
            const auto sub = subscribe(configs);
            QByteArray out;
            QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "homeassistant/switch/vantrel_DEMO0001/pin18/config "), 10000);
            const QByteArray topic = "homeassistant/sensor/vantrel_DEMO0001/adc8/config ";
            const qsizetype at = out.indexOf(topic) + topic.size();
            QVERIFY(at >= topic.size());
            const QJsonObject sensor = QJsonDocument::fromJson(out.mid(at, out.indexOf('\n', at) - at)).object();
            QCOMPARE(sensor.value("state_topic").toString(), QStringLiteral("vantrel/DEMO0001/adc/8"));
            QCOMPARE(sensor.value("availability_topic").toString(), QStringLiteral("vantrel/DEMO0001/status"));
            QCOMPARE(out.count("/config "), 8 + 1 + 17); // eight channels, the monitored pin, the others as switches
            QVERIFY(out.contains("homeassistant/binary_sensor/vantrel_DEMO0001/pin3/config "));
        }
        ::kill(pid_t(bridge->processId()), SIGTERM);
        QVERIFY(bridge->waitForFinished(10000));
        // Taken away: nothing retained is left for a newcomer.
        const auto sub = subscribe(configs);
        QTest::qWait(500);
        QByteArray out;
        seen(*sub, out, "");
        QVERIFY2(out.isEmpty(), out.left(200));
    }

    void aBrokerThatGoesAwayStopsNothingAndEveryMessageIsCounted()
    {
        const int port = freePort();
        auto broker = startBroker(port);
        QProcess bridge;
        bridge.start(QStringLiteral(VANTREL_CLI),
                     {"--demo", "serve", "--broker", QStringLiteral("mqtt://127.0.0.1:%1").arg(port), "--board",
                      "DEMO0001", "--adc", "1-8"});
        QVERIFY(bridge.waitForStarted());
        QTest::qWait(1000);
        broker->kill(); // gone for a while, readings flowing all the time
        broker->waitForFinished();
        QTest::qWait(3000);
        broker = startBroker(port);
        // Back again: served as before, without being told.
        QProcess sub;
        sub.start(QStringLiteral(MOSQUITTO_SUB),
                  {"-h", "127.0.0.1", "-p", QString::number(port), "-v", "-t", "vantrel/DEMO0001/#", "-C", "20"});
        QVERIFY(sub.waitForFinished(15000));
        const QByteArray out = sub.readAllStandardOutput();
        QVERIFY2(out.contains("vantrel/DEMO0001/status online") && out.contains("vantrel/DEMO0001/adc/"), out);
        QCOMPARE(bridge.state(), QProcess::Running);
        ::kill(pid_t(bridge.processId()), SIGTERM);
        QVERIFY(bridge.waitForFinished(10000));
        QCOMPARE(bridge.exitCode(), 0);
        // produced = published + dropped + refused + unsent
        const QByteArray err = bridge.readAllStandardError();
        const qsizetype at = err.indexOf("served DEMO0001: ");
        QVERIFY2(at >= 0, err);
        const QList<QByteArray> words = err.mid(at).split('\n').first().split(' ');
        QCOMPARE(words.size(), 12);
        QVERIFY(words[2].toLongLong() > 200);
        QCOMPARE(words[2].toLongLong(),
                 words[4].toLongLong() + words[6].toLongLong() + words[8].toLongLong() + words[10].toLongLong());
        broker->terminate();
        broker->waitForFinished();
    }

    void credentialsFromAFileAndAnAclThatHoldsControlBack()
    {
        // The broker reads these after it has dropped to its own user, when started as root.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                                QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
        for (const auto &[user, password] : {std::pair{"bridge", "s3cret"}, std::pair{"viewer", "look"}}) {
            QStringList arguments{"-b", passwords, user, password};
            if (!QFile::exists(passwords))
                arguments.prepend("-c");
            QCOMPARE(QProcess::execute(QStringLiteral(MOSQUITTO_PASSWD), arguments), 0);
        }
        const QString acl = m_dir.filePath(QStringLiteral("acl"));
        QFile aclFile(acl);
        QVERIFY(aclFile.open(QIODevice::WriteOnly));
        aclFile.write("user bridge\ntopic readwrite vantrel/#\nuser viewer\ntopic read vantrel/#\n");
        aclFile.close();
        for (const QString &file : {passwords, acl})
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        const int port = freePort();
        const auto broker = startBroker(
            port,
            QStringLiteral("allow_anonymous false\npassword_file %1\nacl_file %2\n").arg(passwords, acl).toUtf8());
        const QString passwordFile = m_dir.filePath(QStringLiteral("bridge-password"));
        QFile secret(passwordFile);
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("s3cret\n");
        secret.close();

        QProcess sub;
        sub.start(QStringLiteral(MOSQUITTO_SUB), {"-h", "127.0.0.1", "-p", QString::number(port), "-u", "viewer", "-P",
                                                  "look", "-v", "-t", "vantrel/#"});
        QVERIFY(sub.waitForStarted());
        QTest::qWait(300);
        QProcess bridge;
        bridge.start(QStringLiteral(VANTREL_CLI),
                     {"--demo", "serve", "--broker", QStringLiteral("mqtt://127.0.0.1:%1").arg(port), "--board",
                      "DEMO0001", "--username", "bridge", "--password-file", passwordFile, "--allow-control"});
        QVERIFY(bridge.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(sub, out, "vantrel/DEMO0001/status online"), 10000);
        // A client that may only read sends a command: the broker keeps it from the bridge.
        QProcess pub;
        pub.start(QStringLiteral(MOSQUITTO_PUB), {"-h", "127.0.0.1", "-p", QString::number(port), "-u", "viewer", "-P",
                                                  "look", "-t", "vantrel/DEMO0001/send", "-m", "id"});
        QVERIFY(pub.waitForFinished(5000));
        QTest::qWait(800);
        seen(sub, out, "");
        QVERIFY(!out.contains("vantrel/DEMO0001/line"));
        ::kill(pid_t(bridge.processId()), SIGTERM);
        QVERIFY(bridge.waitForFinished(10000));
        QVERIFY(!bridge.readAllStandardError().contains("control "));
        sub.terminate();
        sub.waitForFinished();
        broker->terminate();
        broker->waitForFinished();
    }

    void aBrokerThatIsNotThereStopsNothing()
    {
        QProcess bridge;
        bridge.start(
            QStringLiteral(VANTREL_CLI),
            {"--demo", "serve", "--broker", QStringLiteral("mqtt://127.0.0.1:%1").arg(freePort()), "--adc", "1"});
        QVERIFY(bridge.waitForStarted());
        QVERIFY(!bridge.waitForFinished(1500)); // still serving
        ::kill(pid_t(bridge.processId()), SIGTERM);
        QVERIFY(bridge.waitForFinished(10000));
        QCOMPARE(bridge.exitCode(), 0);
    }

    void usageAndNoBoard_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("no broker") << QStringList{"--demo", "serve"} << 2 << QByteArray("serve needs --broker");
        QTest::newRow("bad broker") << QStringList{"--demo", "serve", "--broker", "http://x"} << 2
                                    << QByteArray("--broker: \"http://x\" is not");
        QTest::newRow("control in the open")
            << QStringList{"--demo", "serve", "--broker", "mqtt://10.1.2.3", "--allow-control"} << 2
            << QByteArray("--allow-control over mqtt://10.1.2.3 needs TLS");
        QTest::newRow("no such board") << QStringList{"--demo",  "serve", "--broker", "mqtt://127.0.0.1:1",
                                                      "--board", "NOPE"}
                                       << 3 << QByteArray("no board to serve");
    }

    void usageAndNoBoard()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        QProcess bridge;
        bridge.start(QStringLiteral(VANTREL_CLI), arguments);
        QVERIFY(bridge.waitForFinished(10000));
        QCOMPARE(bridge.exitCode(), exitCode);
        QVERIFY2(bridge.readAllStandardError().contains(error), error);
    }
};

QTEST_GUILESS_MAIN(TestBridgeProcess)
#include "tst_bridge_process.moc"
