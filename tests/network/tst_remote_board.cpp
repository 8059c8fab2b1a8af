#include "broker_fixture.h"
#include "device/demo_driver.h"
#include "network/login_name.h"
#include "network/remote_driver.h"
#include "program.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>

#include <csignal>

// A board on another machine through the remote driver: the windows and the runner see it exactly as a board
// attached here, one holder has it at a time and frees it by leaving, and a frame lost on the way is a lost board.
// Two bridges serve the simulated boards: DEMO0001 with control allowed and readings of channel 1, DEMO0002
// without control.
// The ACL the README gives: the bridge's user may do all under vantrel/; every other client only what a holder does,
// each on the topics of its own client id.
constexpr char kReadmeAcl[] = "user bench7\n"
                              "topic readwrite vantrel/#\n"
                              "pattern read vantrel/+/status\n"
                              "pattern read vantrel/+/held\n"
                              "pattern read vantrel/bridges/+\n"
                              "pattern readwrite vantrel/holders/%c\n"
                              "pattern write vantrel/+/remote/%c/open\n"
                              "pattern write vantrel/+/remote/%c/close\n"
                              "pattern write vantrel/+/remote/%c/tx\n"
                              "pattern read vantrel/+/remote/%c/answer\n"
                              "pattern read vantrel/+/remote/%c/rx\n";

class TestRemoteBoard : public QObject, public BrokerFixture
{
    Q_OBJECT

    std::unique_ptr<QProcess> m_bridge;
    std::unique_ptr<QProcess> m_closedBridge;

    BrokerAddress address() const { return *parseBrokerUrl(url()); }

    // What an operator does in the windows: choose the first board, ask its identity, type a command.
    static QString operate(Program &program)
    {
        formCommunications *window = program.com();
        DeviceList *list = window->DevicesList();
        if (list->count() != 2)
            return QStringLiteral("listed %1 boards").arg(list->count());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("IdRequest")), Qt::LeftButton);
        if (!QTest::qWaitFor([&program] { return program.log().contains(QStringLiteral("firmware")); }, 5000))
            return QStringLiteral("no identity");
        QTest::keyClicks(window->command(), QStringLiteral("led on"));
        QTest::keyClick(window->command(), Qt::Key_Return);
        const bool answered =
            QTest::qWaitFor([&program] { return program.log().contains(QStringLiteral("ok led on")); }, 5000);
        return answered ? program.log() : QStringLiteral("no answer");
    }

    QProcess *runner(const QStringList &arguments)
    {
        auto *process = new QProcess(this);
        process->start(QStringLiteral(VANTREL_CLI), QStringList{"--driver=mqtt", "--broker", url()} + arguments);
        return process;
    }

    // The commands the bridge's board was sent, in order, from the bridge's events.
    static QStringList commandsIn(const QByteArray &events)
    {
        QStringList commands;
        for (const QByteArray &line : events.split('\n')) {
            // A message's first record follows its topic; the others of its batch are lines of their own.
            const QJsonObject event =
                QJsonDocument::fromJson(line.startsWith('{') ? line : line.mid(line.indexOf(' ') + 1)).object();
            if (event.value("kind").toString() == u"command")
                commands.append(event.value("text").toString());
        }
        return commands;
    }

    // How long until DEMO0001 can be opened, every refusal meanwhile being "in use by" someone (-1: another
    // refusal).
    qint64 msUntilFree()
    {
        QElapsedTimer freed;
        freed.start();
        RemoteDriver driver(address(), QStringLiteral("vantrel"));
        std::uint32_t count = 0;
        driver.listDeviceCount(&count);
        while (!freed.hasExpired(15000)) {
            const std::intptr_t handle = driver.createFile("DEMO0001");
            if (handle != kInvalidHandle) {
                driver.closeHandle(handle);
                return freed.elapsed();
            }
            if (!driver.openFailureReason().startsWith(QStringLiteral("in use by")))
                return -1;
            QTest::qWait(200);
        }
        return freed.elapsed();
    }

    // The commands between the bridge's own requests for channel 1 before and after.
    static QStringList whileHeld(QStringList commands)
    {
        const QString own = QStringLiteral("adc  1\n");
        while (!commands.isEmpty() && commands.first() == own)
            commands.removeFirst();
        while (!commands.isEmpty() && commands.last() == own)
            commands.removeLast();
        return commands;
    }

private Q_SLOTS:
    // Without $USER, $LOGNAME and $USERNAME (a service, a cron job), the holder is still named as the system knows it.
    void aHolderWithoutUserVariablesIsNamedByTheSystem()
    {
        const QByteArray saved[] = {qgetenv("USER"), qgetenv("LOGNAME"), qgetenv("USERNAME")};
        for (const char *name : {"USER", "LOGNAME", "USERNAME"})
            qunsetenv(name);
        const QString holder = RemoteDriver::defaultHolder();
        qputenv("USER", saved[0]);
        qputenv("LOGNAME", saved[1]);
        qputenv("USERNAME", saved[2]);
        QVERIFY(!systemLoginName().isEmpty());
        QVERIFY2(holder.startsWith(systemLoginName() + u'@' + QSysInfo::machineHostName()), qPrintable(holder));
    }

    void initTestCase()
    {
        startOwnBroker();
        m_bridge = serve({"--board", "DEMO0001", "--allow-control", "--adc", "1"});
        m_closedBridge = serve({"--board", "DEMO0002"});
        const auto sub = subscribe(QStringLiteral("vantrel/+/status"));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(*sub, out, "DEMO0001/status online") && out.contains("DEMO0002/status online"),
                                 10000);
    }

    void cleanupTestCase()
    {
        for (QProcess *bridge : {m_bridge.get(), m_closedBridge.get()}) {
            ::kill(pid_t(bridge->processId()), SIGTERM);
            bridge->waitForFinished(10000);
        }
        stopOwnBroker();
    }

    void theWindowsAndTheRunnerSeeItAsABoardAttachedHere()
    {
        DemoDriver demo;
        const QString local = [&demo] {
            Program program(demo);
            return operate(program);
        }();
        const auto events = subscribe(QStringLiteral("vantrel/DEMO0001/event"));
        {
            RemoteDriver driver(address(), QStringLiteral("vantrel"), QStringLiteral("tester"));
            Program program(driver);
            QCOMPARE(operate(program), local);
        }
        // While the window held it, the board got exactly what the window wrote: the bridge's own requests stopped.
        QByteArray out;
        QTRY_COMPARE_WITH_TIMEOUT((seen(*events, out, ""), whileHeld(commandsIn(out))),
                                  QStringList({"id\r\n", "led on\r\n"}), 5000);

        const QStringList send{"send",      "--board", "DEMO0001", "--command",  "id",
                               "--command", "led off", "--expect", "^ok led off"};
        QProcess localRunner;
        localRunner.start(QStringLiteral(VANTREL_CLI), QStringList{"--demo"} + send);
        QProcess *remoteRunner = runner(send);
        QVERIFY(localRunner.waitForFinished(10000) && remoteRunner->waitForFinished(10000));
        QCOMPARE(remoteRunner->exitCode(), 0);
        QCOMPARE(remoteRunner->readAllStandardOutput(), localRunner.readAllStandardOutput());
    }

    void oneHolderAtATimeFreedWhenItLeaves()
    {
        const QStringList identify{"send", "--board", "DEMO0001", "--command", "id"};
        {
            RemoteDriver driver(address(), QStringLiteral("vantrel"), QStringLiteral("tester"));
            Program program(driver);
            program.main->session().selectDevice(0);
            QCOMPARE(program.log(), QStringLiteral("Device selected : DEMO0001\r\n"));
            QProcess *second = runner(identify);
            QVERIFY(second->waitForFinished(10000));
            QCOMPARE(second->exitCode(), 3);
            QVERIFY(second->readAllStandardError().contains("could not be opened: in use by tester"));
            // Any other process listing the boards sees who holds it; the holder itself sees it open.
            RemoteDriver onlooker(address(), QStringLiteral("vantrel"));
            QTRY_COMPARE(onlooker.heldElsewhereBy(QStringLiteral("DEMO0001")), QStringLiteral("tester"));
            QCOMPARE(driver.heldElsewhereBy(QStringLiteral("DEMO0001")), QString());
        }
        {
            RemoteDriver onlooker(address(), QStringLiteral("vantrel"));
            std::uint32_t count = 0;
            onlooker.listDeviceCount(&count);
            // The holder's release travels through the broker as the program ends: it arrives, soon.
            QTRY_COMPARE_WITH_TIMEOUT(onlooker.heldElsewhereBy(QStringLiteral("DEMO0001")), QString(), 3000);
        }
        // Closed: free at once.
        QProcess *next = runner(identify);
        QVERIFY(next->waitForFinished(10000));
        QCOMPARE(next->exitCode(), 0);

        // Killed while holding: free within 10 s.
        QProcess *holder = runner({"monitor", "--board", "DEMO0001", "--adc", "1"});
        QByteArray held;
        QTRY_VERIFY2_WITH_TIMEOUT(seen(*holder, held, "adc 1"), holder->readAllStandardError(), 10000);
        ::kill(pid_t(holder->processId()), SIGKILL);
        holder->waitForFinished();
        qint64 ms = msUntilFree();
        QVERIFY2(ms >= 0 && ms <= 10000, qPrintable(QString::number(ms)));

        // Opened by a holder that then never says another word: free within 10 s.
        QVERIFY(publish(QStringLiteral("vantrel/DEMO0001/remote/ghost/open"),
                        "{\"client\":\"ghost\",\"holder\":\"ghost\",\"token\":\"1\"}"));
        ms = msUntilFree();
        QVERIFY2(ms >= 5000 && ms <= 10000, qPrintable(QString::number(ms)));
    }

    void aFrameMissingOnTheWayIsALostBoard()
    {
        const auto requests = subscribe(QStringLiteral("vantrel/DEMO0001/remote/+/open"));
        RemoteDriver driver(address(), QStringLiteral("vantrel"));
        Program program(driver);
        program.main->session().setReconnect(false);
        program.main->session().selectDevice(0);
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(*requests, out, "}"), 5000);
        const QJsonObject request = QJsonDocument::fromJson(out.mid(out.indexOf('{'))).object();
        const QString client = request.value("client").toString();
        QVERIFY(publish(QStringLiteral("vantrel/DEMO0001/remote/%1/rx").arg(client),
                        request.value("token").toString().toLatin1() + " 7\nadc 1 3\n"));
        QTRY_VERIFY2_WITH_TIMEOUT(program.log().endsWith(QStringLiteral("Device lost : DEMO0001\r\n")),
                                  qPrintable(program.log() + QString::fromUtf8(out)), 5000);
        QVERIFY(!program.log().contains(QStringLiteral("adc 1 3")));
    }

    // Under the README's ACL, a second client of the broker can neither end the hold, nor take it, nor read its
    // frames: the broker keeps each holder to the topics of its own client id.
    void anAclKeepsEachHolderToItsOwnTopics()
    {
        const int port = freePort();
        const auto broker = startBrokerWithAccess(
            port, {{"bench7", "bench7-pw"}, {"ana", "ana-pw"}, {"mallory", "mallory-pw"}}, kReadmeAcl);
        QVERIFY(broker);
        const QString url = QStringLiteral("mqtt://%2@127.0.0.1:%1").arg(port);
        const auto client = [port](const QString &program, const char *user, const QStringList &arguments) {
            auto process = std::make_unique<ClientProcess>();
            process->start(program, QStringList{"-h", "127.0.0.1", "-p", QString::number(port), "-u", user, "-P",
                                                QStringLiteral("%1-pw").arg(user)} +
                                        arguments);
            process->waitForStarted();
            return process;
        };
        const auto all = client(QStringLiteral(MOSQUITTO_SUB), "bench7", {"-v", "-t", "vantrel/#"});
        const auto mallorySees = client(QStringLiteral(MOSQUITTO_SUB), "mallory", {"-v", "-t", "vantrel/#"});
        ClientProcess bridge;
        bridge.start(QStringLiteral(VANTREL_CLI), {"--demo", "serve", "--broker", url.arg("bench7:bench7-pw"),
                                                   "--board", "DEMO0001", "--adc", "1", "--allow-control"});
        QByteArray seenByAll;
        QTRY_VERIFY_WITH_TIMEOUT(seen(*all, seenByAll, "vantrel/DEMO0001/status online"), 10000);
        ClientProcess holder;
        holder.start(QStringLiteral(VANTREL_CLI), {"--driver=mqtt", "--broker", url.arg("ana:ana-pw"), "monitor",
                                                   "--board", "DEMO0001", "--adc", "1", "--seconds", "6"});
        QTRY_VERIFY_WITH_TIMEOUT(seen(*all, seenByAll, "/rx "), 10000);
        const qsizetype at = seenByAll.indexOf("/open {") + 6;
        const QJsonObject request =
            QJsonDocument::fromJson(seenByAll.mid(at, seenByAll.indexOf('\n', at) - at)).object();
        const QString victim = request.value("client").toString();
        QVERIFY(!victim.isEmpty());
        // Mallory knows the holder's client id and token, and tries everything.
        const QString remote = QStringLiteral("vantrel/DEMO0001/remote/%1/").arg(victim);
        const QList<QPair<QString, QByteArray>> attempts{
            {QStringLiteral("vantrel/holders/") + victim, "gone"},
            {remote + QStringLiteral("close"), (victim + u' ' + request.value("token").toString()).toUtf8()},
            {remote + QStringLiteral("open"),
             QStringLiteral("{\"client\":\"%1\",\"holder\":\"mallory\",\"token\":\"7\"}").arg(victim).toUtf8()},
            {remote + QStringLiteral("tx"), request.value("token").toString().toUtf8() + " 1\nreset\r\n"}};
        for (const auto &[topic, payload] : attempts)
            QVERIFY(client(QStringLiteral(MOSQUITTO_PUB), "mallory", {"-t", topic, "-m", QString::fromUtf8(payload)})
                        ->waitForFinished(5000));
        // The holder keeps the board to the end of its run, reading all the while.
        QVERIFY(holder.waitForFinished(15000));
        QCOMPARE(holder.exitCode(), 0);
        QVERIFY(holder.readAllStandardOutput().count("adc 1") > 20);
        // The holder's close travels through the broker: stop the bridge only once it has arrived.
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += bridge.readAllStandardError()).contains("closed by"), said, 5000);
        ::kill(pid_t(bridge.processId()), SIGTERM);
        QVERIFY(bridge.waitForFinished(10000));
        said += bridge.readAllStandardError();
        QVERIFY2(!said.contains("taken from") && !said.contains("refused:"), said);
        QByteArray malloryOut;
        seen(*mallorySees, malloryOut, "");
        QVERIFY2(malloryOut.contains("vantrel/DEMO0001/status online"), malloryOut.left(300));
        QVERIFY2(!malloryOut.contains("/remote/"), malloryOut.left(300));
        broker->terminate();
        broker->waitForFinished();
    }

    // A broker that lets a holder in no more after a restart (its password changed) ends the holder's run with
    // exit code 6 and the reason, even one that waits for its board to come back.
    void aRefusalMidRunEndsTheRun()
    {
        const int port = freePort();
        const QList<std::pair<QString, QString>> before{{"bench7", "bench7-pw"}, {"ana", "ana-pw"}};
        auto broker = startBrokerWithAccess(port, before, kReadmeAcl);
        QVERIFY(broker);
        const QString url = QStringLiteral("mqtt://%2@127.0.0.1:%1").arg(port);
        ClientProcess bridge;
        bridge.start(QStringLiteral(VANTREL_CLI), {"--demo", "serve", "--broker", url.arg("bench7:bench7-pw"),
                                                   "--board", "DEMO0001", "--adc", "1", "--allow-control"});
        ClientProcess all;
        all.start(QStringLiteral(MOSQUITTO_SUB), {"-h", "127.0.0.1", "-p", QString::number(port), "-u", "bench7", "-P",
                                                  "bench7-pw", "-v", "-t", "vantrel/DEMO0001/status"});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(seen(all, out, "vantrel/DEMO0001/status online"), 10000);
        ClientProcess holder;
        holder.start(QStringLiteral(VANTREL_CLI),
                     {"--driver=mqtt", "--broker", url.arg("ana:ana-pw"), "monitor", "--board", "DEMO0001", "--adc",
                      "1", "--seconds", "60", "--reconnect"});
        QByteArray read;
        QTRY_VERIFY_WITH_TIMEOUT(seen(holder, read, "adc 1"), 15000);
        broker->terminate();
        QVERIFY(broker->waitForFinished());
        broker = startBrokerWithAccess(port, {{"bench7", "bench7-pw"}, {"ana", "another-pw"}}, kReadmeAcl);
        QVERIFY(broker);
        QVERIFY(holder.waitForFinished(20000));
        QCOMPARE(holder.exitCode(), 6);
        const QByteArray said = holder.readAllStandardError();
        QCOMPARE(said.count("refused the connection: not authorised"), 1);
        QVERIFY2(!said.contains("ana-pw"), said);
        ::kill(pid_t(bridge.processId()), SIGTERM);
        QVERIFY(bridge.waitForFinished(10000));
        broker->terminate();
        broker->waitForFinished();
    }

    void aBridgeWithoutControlRefusesRemoteOpening()
    {
        QProcess *refused = runner({"send", "--board", "DEMO0002", "--command", "id"});
        QVERIFY(refused->waitForFinished(10000));
        QCOMPARE(refused->exitCode(), 3);
        QVERIFY(refused->readAllStandardError().contains("does not allow remote opening"));
    }
};

QTEST_MAIN(TestRemoteBoard)
#include "tst_remote_board.moc"
