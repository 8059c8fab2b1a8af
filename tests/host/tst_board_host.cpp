#include "event_recorder.h"
#include "host/board_host.h"
#include "recording_driver.h"
#include "records/journal_files.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The host of boards on the recording driver: the foreground chosen as the device list always chose, boards kept
// open in the background without a second open, each board's data following the board between sessions, and the
// runner's boards opened all or none.
class TestBoardHost : public QObject
{
    Q_OBJECT

    struct Rig {
        Rig() { driver.serials = {QStringLiteral("A1B2"), QStringLiteral("C3D4")}; }
        RecordingDriver driver;
        BoardHost host{driver};
        EventRecorder seen{host.foreground()};
    };

private Q_SLOTS:
    void withNothingKeptOpenASelectionIsTheDeviceListsOwn()
    {
        Rig rig;
        rig.host.scan();
        rig.driver.clearCalls();
        QCOMPARE(rig.host.select(0), QStringLiteral("A1B2"));
        QCOMPARE(rig.host.select(1), QStringLiteral("C3D4"));
        QList<DriverCall::Kind> kinds;
        for (const DriverCall &call : rig.driver.calls)
            kinds.append(call.kind);
        QCOMPARE(kinds, QList<DriverCall::Kind>({DriverCall::Serial, DriverCall::Create, DriverCall::Close,
                                                 DriverCall::Serial, DriverCall::Create}));
        QCOMPARE(rig.host.openBoards(), QStringList{"C3D4"});
    }

    void aBoardKeptOpenGoesOnInTheBackgroundAndComesBackWithoutASecondOpen()
    {
        Rig rig;
        BoardSession &foreground = rig.host.foreground();
        rig.host.select(0);
        foreground.setChannelTicked(2, true);
        foreground.setAnalogRequestsOn(true);
        foreground.makePinOutputAt(5, true);
        QVERIFY(rig.host.setKeptOpen(QStringLiteral("A1B2"), true));
        rig.driver.clearCalls();
        rig.seen.clear();

        rig.host.select(1);
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{}); // A1B2 stays open
        QCOMPARE(rig.host.openBoards(), QStringList({"C3D4", "A1B2"}));
        BoardSession *background = rig.host.sessionOf(QStringLiteral("A1B2"));
        QVERIFY(background && background != &foreground);
        QCOMPARE(background->handle(), std::intptr_t(100));
        QVERIFY(background->poller().holders().contains(QStringLiteral("kept open")));
        // The foreground keeps what the windows show, as any selection does.
        QVERIFY(foreground.setup().isTicked(2) && foreground.setup().isOutput(5));

        // Each board's readings go to its own data, whichever session reads them.
        rig.driver.queue("adc 2 77\n");
        background->poll();
        QCOMPARE(rig.host.board(QStringLiteral("A1B2")).trend.size(2), 1);
        QCOMPARE(rig.host.board(QStringLiteral("C3D4")).trend.size(2), 0);
        QVERIFY(rig.host.board(QStringLiteral("A1B2")).lastReadingWallMs > 0);

        // Chosen again: its session's board is taken, no second open; the board held until now is closed.
        foreground.makePinInput(5);
        rig.driver.clearCalls();
        rig.seen.clear();
        QCOMPARE(rig.host.select(0), QStringLiteral("A1B2"));
        QCOMPARE(rig.driver.count(DriverCall::Create), 0);
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{101});
        QCOMPARE(foreground.handle(), std::intptr_t(100));
        QCOMPARE(rig.seen.log, QStringList{"Device selected : A1B2"});
        QVERIFY(foreground.setup().isOutput(5)); // as A1B2 was told
        QCOMPARE(rig.host.openBoards(), QStringList{"A1B2"});
        rig.driver.queue("adc 2 78\n");
        foreground.poll();
        QCOMPARE(rig.host.board(QStringLiteral("A1B2")).trend.size(2), 2);

        // Selecting the board held now closes and opens it, as ever; a board closed already is not closed again.
        rig.driver.clearCalls();
        rig.host.select(0);
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(rig.driver.count(DriverCall::Create), 1);
        foreground.closeDevice();
        rig.host.select(1);
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>({100, 102}));
    }

    // A board whose readings went on in the background, taken back where the windows ask for none: its readings
    // stop there, and that is said.
    void takenBackWithoutRequestsIsAGap()
    {
        Rig rig;
        BoardSession &foreground = rig.host.foreground();
        PollLease polling = foreground.wantPolling(std::chrono::hours(1), QStringLiteral("test"));
        rig.host.select(0);
        foreground.setChannelTicked(2, true);
        foreground.setAnalogRequestsOn(true);
        rig.host.setKeptOpen(QStringLiteral("A1B2"), true);
        rig.host.select(1);
        foreground.setAnalogRequestsOn(false);
        QStringList gaps;
        const EventStream::Subscription told = foreground.events().subscribe(
            [&gaps](const SessionEvent &event) { gaps.append(event.source->serial() + u' ' + event.text.toString()); },
            eventKinds({SessionEvent::Kind::Gap}));
        rig.host.select(0);
        QCOMPARE(gaps, QStringList{"A1B2 requests off"});
    }

    void keepingOpenABoardOpenNowhereOpensItAndLettingGoClosesIt()
    {
        Rig rig;
        rig.host.select(1);
        QVERIFY(rig.host.setKeptOpen(QStringLiteral("A1B2"), true));
        QCOMPARE(rig.host.openBoards(), QStringList({"C3D4", "A1B2"}));
        QVERIFY(rig.host.setKeptOpen(QStringLiteral("A1B2"), false));
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{101});
        QCOMPARE(rig.host.openBoards(), QStringList{"C3D4"});

        rig.driver.unopenable = {QStringLiteral("A1B2")};
        rig.driver.openFailure = QStringLiteral("busy");
        QString error;
        QVERIFY(!rig.host.setKeptOpen(QStringLiteral("A1B2"), true, &error));
        QCOMPARE(error, QStringLiteral("board A1B2 could not be opened: busy"));
        QVERIFY(!rig.host.isKeptOpen(QStringLiteral("A1B2")));
    }

    void theRunnersBoardsOpenAllOrNone()
    {
        Rig rig;
        QString error;
        QVERIFY(rig.host.open({"A1B2", "ZZZZ"}, &error).empty());
        QCOMPARE(error, QStringLiteral("board ZZZZ is not listed"));
        QCOMPARE(rig.driver.count(DriverCall::Create), 0);
        rig.driver.unopenable = {QStringLiteral("C3D4")};
        QVERIFY(rig.host.open({"A1B2", "C3D4"}, &error).empty());
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>{100});
        QVERIFY(rig.host.openBoards().isEmpty());
        rig.driver.unopenable.clear();
        QCOMPARE(rig.host.open({"A1B2", "C3D4"}, &error).size(), std::size_t(2));
        rig.host.closeAll();
        rig.host.closeAll();
        QCOMPARE(rig.driver.closes(), QList<std::intptr_t>({100, 101, 102}));
    }

    void calibrationAndRulesAreKeptPerBoard()
    {
        QStandardPaths::setTestModeEnabled(true); // the settings of a test never reach the user's
        // Without an organisation, Windows' settings (the registry) keep nothing.
        QCoreApplication::setOrganizationName(QStringLiteral("Vantrel tests"));
        BoardCalibration volts;
        volts.channel(8) = ChannelCalibration{QStringLiteral("Supply"), QStringLiteral("V"), 0.025, 0.0, 2};
        AlarmRule low;
        low.name = QStringLiteral("Supply low");
        low.channel = 8;
        low.below = 4.75;
        low.latched = true;
        {
            Rig rig;
            rig.host.setCalibration(QStringLiteral("A1B2"), volts);
            rig.host.setAlarmRules(QStringLiteral("A1B2"), {low});
        }
        // Another run: the board's own come back, and never apply to another board.
        Rig rig;
        QCOMPARE(rig.host.board(QStringLiteral("A1B2")).alarms.calibration(), volts);
        QCOMPARE(rig.host.board(QStringLiteral("A1B2")).alarms.alarms().front().rule, low);
        QVERIFY(rig.host.board(QStringLiteral("C3D4")).alarms.calibration().isIdentity());
        QVERIFY(rig.host.board(QStringLiteral("C3D4")).alarms.alarms().empty());
        rig.host.setCalibration(QStringLiteral("A1B2"), BoardCalibration());
        rig.host.setAlarmRules(QStringLiteral("A1B2"), {});
        // Under a rules file, changes hold for the run only.
        {
            Rig withFile;
            withFile.host.setAlarmFile(AlarmSetup{});
            withFile.host.setCalibration(QStringLiteral("A1B2"), volts);
            withFile.host.setAlarmRules(QStringLiteral("A1B2"), {low});
        }
        Rig next;
        QVERIFY(next.host.board(QStringLiteral("A1B2")).alarms.calibration().isIdentity());
        QVERIFY(next.host.board(QStringLiteral("A1B2")).alarms.alarms().empty());
    }

    // A raised alarm sends its rule's command only once the operator has confirmed it: as typed, once a raise.
    void aRaisedAlarmSendsOnlyAConfirmedCommand_data()
    {
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::newRow("confirmed") << true << QList<QByteArray>{"pin 9 1\r\n"};
        QTest::newRow("not confirmed") << false << QList<QByteArray>{};
    }

    void aRaisedAlarmSendsOnlyAConfirmedCommand()
    {
        QFETCH(bool, confirmed);
        QFETCH(QList<QByteArray>, sent);
        QStandardPaths::setTestModeEnabled(true);
        Rig rig;
        rig.host.select(0);
        AlarmRule low;
        low.name = QStringLiteral("Supply low");
        low.channel = 8;
        low.below = 100;
        low.command = QStringLiteral("pin 9 1");
        low.commandConfirmed = confirmed;
        rig.host.setAlarmRules(QStringLiteral("A1B2"), {low});
        rig.host.foreground().setChannelTicked(8, true);
        rig.driver.clearCalls();
        rig.driver.queue("adc 8 50\nadc 8 40\n");
        rig.host.foreground().poll();
        QCOMPARE(rig.host.activeAlarmCount(), 1);
        QCoreApplication::processEvents();
        QList<QByteArray> written = rig.driver.writes();
        written.removeIf([](const QByteArray &bytes) { return bytes.startsWith("adc"); }); // the poll's own
        QCOMPARE(written, sent);
        rig.host.setAlarmRules(QStringLiteral("A1B2"), {});
    }

    // A pin rule watches what the board reports of a pin, an output driven from here included.
    void aPinRuleWatchesAnOutputToo()
    {
        QStandardPaths::setTestModeEnabled(true);
        Rig rig;
        rig.host.select(0);
        AlarmRule high;
        high.name = QStringLiteral("Pin 9 high");
        high.pin = 9;
        high.level = true;
        rig.host.setAlarmRules(QStringLiteral("A1B2"), {high});
        rig.host.foreground().makePinOutputAt(9, true);
        rig.driver.queue("pin 9 1\n");
        rig.host.foreground().poll();
        QCOMPARE(rig.host.activeAlarmCount(), 1);
        rig.host.setAlarmRules(QStringLiteral("A1B2"), {});
    }

    void everyBoardIsJournaledWhereverItIsHeld()
    {
        Rig rig;
        QTemporaryDir folder;
        JournalSettings settings;
        settings.folder = folder.path();
        rig.host.setUpJournal(settings, true);
        rig.host.select(0);
        rig.host.setKeptOpen(QStringLiteral("A1B2"), true);
        rig.host.select(1);
        rig.driver.queue("from A1B2\n");
        rig.host.sessionOf(QStringLiteral("A1B2"))->poll();
        rig.host.journal()->flush();
        for (const char *serial : {"A1B2", "C3D4"})
            QCOMPARE(journalFiles(journalBoardFolder(folder.path(), QString::fromLatin1(serial))).size(), 1);
        QFile a1b2(journalFiles(journalBoardFolder(folder.path(), QStringLiteral("A1B2"))).front().path);
        QVERIFY(a1b2.open(QIODevice::ReadOnly));
        QVERIFY(a1b2.readAll().contains("from A1B2"));
    }
};

QTEST_GUILESS_MAIN(TestBoardHost)
#include "tst_board_host.moc"
