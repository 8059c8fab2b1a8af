#include "device/demo_driver.h"
#include "records/journal.h"
#include "records/journal_files.h"
#include "records/journal_gzip.h"
#include "records/journal_line.h"
#include "records/journal_seek.h"
#include "replay/replay_driver.h"
#include "replay/replay_options.h"
#include "session/board_session.h"
#include "session/poller.h"
#include "session/session_texts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

namespace {

// What a session told, as the windows and the runner take it: readings, pin levels, lines not consumed, losses,
// returns and gaps, each with its stamp.
struct Told {
    QString what;
    EventStamp stamp;
};

class Listener
{
public:
    explicit Listener(BoardSession &session)
        : m_subscription(session.events().subscribe([this](const SessionEvent &event) { take(event); }))
    {}

    std::vector<Told> told;
    QStringList log;
    QString status;

    QStringList whats() const
    {
        QStringList all;
        for (const Told &one : told)
            all.append(one.what);
        return all;
    }

private:
    void take(const SessionEvent &event)
    {
        QString what;
        switch (event.kind) {
        case SessionEvent::Kind::Reading:
            what = QStringLiteral("adc %1 %2").arg(event.index).arg(event.value);
            break;
        case SessionEvent::Kind::PinLevel:
            what = QStringLiteral("pin %1 %2").arg(event.index).arg(event.value);
            break;
        case SessionEvent::Kind::LineReceived:
            if (event.flag)
                return;
            what = QStringLiteral("line ") + event.text.toString();
            break;
        case SessionEvent::Kind::Lost:
            what = QStringLiteral("lost");
            break;
        case SessionEvent::Kind::Back:
            what = QStringLiteral("back");
            break;
        case SessionEvent::Kind::Gap:
            what = QStringLiteral("gap %1 %2").arg(event.index).arg(texts::gapRecord(event.text, event.detail));
            break;
        case SessionEvent::Kind::LogLine:
            log.append(event.text.toString());
            return;
        case SessionEvent::Kind::StatusText:
            status = event.text.toString();
            return;
        default:
            return;
        }
        told.push_back({what, event.stamp});
    }

    EventStream::Subscription m_subscription;
};

QString isoTime(qint64 wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

// One journal line as the journal writes it.
QByteArray record(qint64 wallMs, qint64 monoMs, const char *kind, const QByteArray &rest = {})
{
    QByteArray line = "{\"time\":\"" + isoTime(wallMs).toLatin1() + "\",\"t_ms\":" + QByteArray::number(monoMs) +
                      ",\"mono_ms\":" + QByteArray::number(monoMs) + ",\"board\":\"B1\",\"kind\":\"" + kind + '"';
    if (!rest.isEmpty())
        line += ',' + rest;
    return line + "}\n";
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

const qint64 kDay = QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch();

// A replay driver on a clock the test moves, and a session on it that has the board open.
struct Player {
    explicit Player(ReplayOptions options)
        : driver(std::move(options), [this] { return clock; })
    {
        session.scanDevices();
        session.selectDevice(0);
    }
    // Polls until the recording has nothing more to give now.
    void drain(int most = 100000)
    {
        for (int i = 0; i < most; ++i) {
            const qint64 before = session.bytesReceived();
            const std::size_t told = listener.told.size();
            session.poll();
            if (session.bytesReceived() == before && listener.told.size() == told && !session.isLost())
                return;
        }
    }

    qint64 clock = 0;
    ReplayDriver driver;
    BoardSession session{driver};
    Listener listener{session};
};

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheJournalsLinesAsItsReaderDoes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("wallMs");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        const QByteArray time = "\"time\":\"2026-12-07T10:15:02.125+01:00\"";
        const qint64 ms = QDateTime(QDate(2026, 12, 7), QTime(9, 15, 2, 125), Qt::UTC).toMSecsSinceEpoch();
        QTest::newRow("adc") << ("{" + time +
                                 ",\"t_ms\":5,\"mono_ms\":7,\"board\":\"B\",\"kind\":\"adc\","
                                 "\"channel\":2,\"value\":137}")
                             << true << "adc" << ms << 2 << 137 << "";
        QTest::newRow("escapes") << ("{" + time + ",\"kind\":\"command\",\"text\":\"id\\u000d\\u000a\\\"\"}") << true
                                 << "command" << ms << 0 << 0 << "id\r\n\"";
        QTest::newRow("keys in another order, spaces")
            << ("{ \"kind\" : \"line\" , \"text\":\"ok\", " + time + " }") << true << "line" << ms << 0 << 0 << "ok";
        QTest::newRow("UTF-8 text") << ("{" + time + ",\"kind\":\"line\",\"text\":\"25 \xc2\xb0\x43\"}") << true
                                    << "line" << ms << 0 << 0 << QStringLiteral("25 \u00b0C");
        QTest::newRow("a whole number as 2.0")
            << ("{" + time + ",\"kind\":\"adc\",\"channel\":2.0,\"value\":1}") << true << "adc" << ms << 2 << 1 << "";
        QTest::newRow("UTC") << QByteArray("{\"time\":\"2026-12-07T09:15:02.125Z\",\"kind\":\"lost\"}") << true
                             << "lost" << ms << 0 << 0 << "";
        QTest::newRow("no milliseconds") << QByteArray("{\"time\":\"2026-12-07T09:15:02Z\",\"kind\":\"lost\"}") << true
                                         << "lost" << ms - 125 << 0 << 0 << "";
        QTest::newRow("not JSON") << QByteArray("{\"time\":") << false << "" << qint64(0) << 0 << 0 << "";
        QTest::newRow("cut short") << ("{" + time + ",\"kind\":\"adc\",\"chan") << false << "" << qint64(0) << 0 << 0
                                   << "";
        QTest::newRow("no kind") << ("{" + time + "}") << false << "" << qint64(0) << 0 << 0 << "";
        QTest::newRow("no time") << QByteArray("{\"kind\":\"adc\"}") << false << "" << qint64(0) << 0 << 0 << "";
        QTest::newRow("not a time") << QByteArray("{\"time\":\"yesterday\",\"kind\":\"adc\"}") << false << ""
                                    << qint64(0) << 0 << 0 << "";
        QTest::newRow("February 30") << QByteArray("{\"time\":\"2026-02-30T09:15:02.125Z\",\"kind\":\"adc\"}") << false
                                     << "" << qint64(0) << 0 << 0 << "";
        QTest::newRow("channel 9") << ("{" + time + ",\"kind\":\"adc\",\"channel\":9,\"value\":1}") << false << ""
                                   << qint64(0) << 0 << 0 << "";
        QTest::newRow("text a number") << ("{" + time + ",\"kind\":\"line\",\"text\":5}") << false << "" << qint64(0)
                                       << 0 << 0 << "";
        QTest::newRow("an array") << QByteArray("[1,2]") << false << "" << qint64(0) << 0 << 0 << "";
        QTest::newRow("value beyond 32 bits") << ("{" + time + ",\"kind\":\"adc\",\"channel\":1,\"value\":4294967296}")
                                              << false << "" << qint64(0) << 0 << 0 << "";
    }
    void readsTheJournalsLinesAsItsReaderDoes()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, whole);
        JournalLine fast;
        JournalLine slow;
        QCOMPARE(decodeJournalLine(line, fast), whole);
        QCOMPARE(decodeJournalLineSlowly(line, slow), whole);
        if (!whole)
            return;
        QFETCH(QString, kind);
        QFETCH(qint64, wallMs);
        QFETCH(int, channel);
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(fast.kind, journalKind(kind));
        QCOMPARE(fast.wallMs, wallMs);
        QCOMPARE(fast.channel, channel);
        QCOMPARE(fast.value, value);
        QCOMPARE(fast.text, text);
        QCOMPARE(slow.kind, fast.kind);
        QCOMPARE(slow.wallMs, fast.wallMs);
        QCOMPARE(slow.text, fast.text);
    }

    void readsTheWritersTimesAsQtDoes()
    {
        // Every offset a zone may have, and the days at the ends of months and years.
        QRandomGenerator random(7);
        for (int i = 0; i < 20000; ++i) {
            const qint64 ms = qint64(random.bounded(4102444800.0) * 1000) + random.bounded(1000);
            const int offset = (int(random.bounded(57)) - 28) * 30 * 60;
            const QString text = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone(offset))
                                     .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
                                 (offset == 0 ? QStringLiteral("Z")
                                              : QStringLiteral("%1%2:%3")
                                                    .arg(QChar(offset < 0 ? u'-' : u'+'))
                                                    .arg(std::abs(offset) / 3600, 2, 10, QChar(u'0'))
                                                    .arg(std::abs(offset) / 60 % 60, 2, 10, QChar(u'0')));
            QVERIFY2(journalRecordTime(text) == ms, qPrintable(text));
            QCOMPARE(QDateTime::fromString(text, Qt::ISODateWithMs).toMSecsSinceEpoch(), ms);
        }
    }

    void seeksAnyMomentOfAPlainOrCompressedFile_data()
    {
        QTest::addColumn<bool>("compressed");
        QTest::newRow("plain") << false;
        QTest::newRow("compressed") << true;
    }
    void seeksAnyMomentOfAPlainOrCompressedFile()
    {
        QFETCH(bool, compressed);
        // 200,000 records, a few to a moment, over several samples and checkpoints.
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("B1/2026-12-07.jsonl"));
        QByteArray bytes;
        std::vector<qint64> times;
        for (int i = 0; i < 200000; ++i) {
            const qint64 ms = kDay + (i / 3) * 10;
            bytes +=
                record(ms, i, "adc",
                       "\"channel\":" + QByteArray::number(1 + i % 3) + ",\"value\":" + QByteArray::number(i % 256));
            times.push_back(ms);
        }
        writeFile(path, bytes);
        QString opened = path;
        if (compressed) {
            QVERIFY(!compressJournalFile(path));
            opened += QStringLiteral(".gz");
        }
        JournalFileReader reader(opened, compressed);
        QCOMPARE(reader.firstMs(), times.front());
        QCOMPARE(reader.lastMs(), times.back());
        QVERIFY(reader.hasIndex());
        QRandomGenerator random(11);
        for (int probe = 0; probe < 200; ++probe) {
            const qint64 target = kDay - 50 + qint64(random.bounded(int(times.back() - kDay + 100)));
            QVERIFY(reader.seek(target));
            // The first record at or after the target is among the lines read from there, and nothing before it
            // is more than one sample back.
            const auto expected = std::lower_bound(times.begin(), times.end(), target);
            JournalLine line;
            QByteArrayView text;
            bool cut = false;
            qint64 found = -1;
            qint64 passed = 0;
            while (reader.next(text, &cut)) {
                QVERIFY(decodeJournalLine(text, line));
                if (line.wallMs >= target) {
                    found = line.wallMs;
                    break;
                }
                passed += text.size() + 1;
            }
            QCOMPARE(found, expected == times.end() ? qint64(-1) : *expected);
            QVERIFY2(passed <= JournalFileReader::kSampleStep + 4096, qPrintable(QString::number(passed)));
        }
    }

    void playsTheDemoBoardsJournalAsTheSessionToldIt()
    {
        // The demo board on a simulated clock: three channels polled, a pin monitored, commands typed, the board
        // pulled out and back, all journaled.
        QTemporaryDir directory;
        qint64 nowMs = 0;
        const qint64 wallStart = kDay;
        std::vector<Told> live;
        {
            DemoDriver demo([&nowMs] { return nowMs; });
            BoardSession session(
                demo, [&nowMs] { return 1'000'000 + nowMs; }, [&nowMs, wallStart] { return wallStart + nowMs; });
            Listener listener(session);
            JournalSettings settings;
            settings.folder = directory.filePath(QStringLiteral("journal"));
            Journal journal(settings);
            journal.attach(session);
            QVERIFY(journal.start());
            session.scanDevices();
            session.selectDevice(1);
            const PollLease lease = session.wantPolling(std::chrono::milliseconds(100), QStringLiteral("test"));
            for (int channel : {1, 2, 8})
                session.setChannelTicked(channel, true);
            session.setAnalogRequestsOn(true);
            session.setPinMonitored(5, true);
            for (int poll = 0; poll < 300; ++poll) {
                nowMs += 100;
                if (poll == 20)
                    session.sendTyped(u"id");
                if (poll == 40)
                    session.sendTyped(u"adc 3"); // a reading of a channel not ticked: logged as a line too
                if (poll == 60)
                    session.makePinOutputAt(9, true);
                if (poll == 100)
                    session.sendTyped(u"unplug");
                session.poll();
            }
            session.closeDevice();
            journal.flush();
            journal.stop();
            live = listener.told;
        }
        QVERIFY2(live.size() > 700, qPrintable(QString::number(live.size())));
        QStringList liveWhats;
        for (const Told &one : live)
            liveWhats.append(one.what);
        QVERIFY(liveWhats.contains(QStringLiteral("lost")));
        QVERIFY(liveWhats.contains(QStringLiteral("back")));
        QVERIFY(liveWhats.contains(QStringLiteral("gap 0 board lost")));
        QVERIFY(std::any_of(liveWhats.begin(), liveWhats.end(),
                            [](const QString &what) { return what.startsWith(QLatin1String("line adc 3 ")); }));

        for (const double speed : {ReplayDriver::kFastest, 1.0, 100.0}) {
            ReplayOptions options;
            options.folder = directory.filePath(QStringLiteral("journal"));
            options.speed = speed;
            Player player(options);
            QCOMPARE(player.driver.boards(), QStringList{QStringLiteral("DEMO0002")});
            for (int step = 0; step < 1000 && !player.driver.isFinished(); ++step) {
                player.clock += 100;
                player.drain();
            }
            QVERIFY(player.driver.isFinished());
            QCOMPARE(player.listener.whats(), liveWhats);
            // At their recorded times: the wall clock as it was, the monotonic clock shifted as a whole.
            const qint64 shift = player.listener.told.front().stamp.monoMs - live.front().stamp.monoMs;
            for (std::size_t i = 0; i < live.size(); ++i) {
                QCOMPARE(player.listener.told[i].stamp.wallMs, live[i].stamp.wallMs);
                QCOMPARE(player.listener.told[i].stamp.monoMs - live[i].stamp.monoMs, shift);
            }
            QCOMPARE(player.driver.skippedLines(), 0);
        }
    }

    void playsEveryRecordKindAndSkipsEachBadLineOnce()
    {
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("journal"));
        const qint64 t = kDay;
        // The day before, compressed; the next day missing; the day after, plain, its last line cut short.
        QByteArray before;
        before += record(t - 86'400'000, 10, "selected", "\"text\":\"B1\"");
        before += record(t - 86'400'000, 10, "poll", "\"channels\":[1,2],\"period_ms\":100");
        before += record(t - 86'400'000 + 100, 110, "adc", "\"channel\":1,\"value\":10");
        before += "this is not JSON\n";
        before += record(t - 86'400'000 + 200, 210, "closed");
        writeFile(folder + QStringLiteral("/B1/2026-12-06.jsonl"), before);
        QVERIFY(!compressJournalFile(folder + QStringLiteral("/B1/2026-12-06.jsonl")));
        QByteArray day;
        day += record(t + 2 * 86'400'000, 5, "selected", "\"text\":\"B1\"");
        day += record(t + 2 * 86'400'000 + 100, 105, "adc", "\"channel\":3,\"value\":30");
        day += record(t + 2 * 86'400'000 + 100, 105, "line", "\"text\":\"adc 3 30\"");
        day += record(t + 2 * 86'400'000 + 100, 105, "pin", "\"pin\":5,\"level\":1");
        day += record(t + 2 * 86'400'000 + 100, 105, "line", "\"text\":\"pin 5 1\"");
        day += record(t + 2 * 86'400'000 + 150, 155, "pin", "\"pin\":6,\"level\":0");
        day += record(t + 2 * 86'400'000 + 200, 205, "line", "\"text\":\"hello\"");
        day += record(t + 2 * 86'400'000 + 250, 255, "command", "\"text\":\"id\\u000d\\u000a\"");
        day += record(t + 2 * 86'400'000 + 260, 265, "status", "\"text\":\"Device selected : B1\"");
        day += record(t + 2 * 86'400'000 + 270, 275, "match", "\"text\":\"hello\"");
        day += record(t + 2 * 86'400'000 + 280, 285, "open_failed", "\"text\":\"busy\"");
        day += record(t + 2 * 86'400'000 + 290, 295, "mystery");
        day += record(t + 2 * 86'400'000 + 100, 105, "line", "\"text\":\"back in time\""); // goes back
        day += record(t + 2 * 86'400'000 + 300, 305, "adc", "\"channel\":9,\"value\":1");  // no such channel
        day += record(t + 2 * 86'400'000 + 310, 315, "gap", "\"channel\":2,\"text\":\"channel unticked\"");
        day += record(t + 2 * 86'400'000 + 400, 405, "lost", "\"text\":\"B1\"");
        day += record(t + 2 * 86'400'000 + 400, 405, "gap", "\"text\":\"board lost\"");
        day += record(t + 2 * 86'400'000 + 900, 905, "back", "\"text\":\"B1\"");
        day += record(t + 2 * 86'400'000 + 1000, 1005, "line", "\"text\":\"again\"");
        day += record(t + 2 * 86'400'000 + 1100, 1105, "gap", "\"text\":\"polling stopped (plan run)\"");
        day += QByteArray(3 * 1024 * 1024, 'x') + '\n';                // longer than any record: not kept in memory
        day += "{\"time\":\"2026-12-09T10:00:02.000Z\",\"kind\":\"li"; // cut short by a power loss
        writeFile(folder + QStringLiteral("/B1/2026-12-09.jsonl"), day);

        ReplayOptions options;
        options.folder = folder;
        options.speed = ReplayDriver::kFastest;
        Player player(options);
        for (int i = 0; i < 50 && !player.driver.isFinished(); ++i)
            player.drain();
        QVERIFY(player.driver.isFinished());
        const QStringList expected{
            "adc 1 10",
            "gap 0 no board open (board closed)", // the day before's run closed, another followed
            "adc 3 30",
            "line adc 3 30",
            "pin 5 1",
            "line pin 5 1",
            "pin 6 0",
            "line pin 6 0",
            "line hello",
            "gap 2 channel unticked",
            "lost",
            "gap 0 board lost",
            "back",
            "line again",
            "gap 0 polling stopped (plan run)",
        };
        QCOMPARE(player.listener.whats(), expected);
        // Not JSON, going back, channel 9, too long, cut short.
        QCOMPARE(player.driver.skippedLines(), 5);
        QVERIFY(player.listener.log.contains(QStringLiteral("sent : id\\r\\n")));
        // Each at its time.
        QCOMPARE(player.listener.told[0].stamp.wallMs, t - 86'400'000 + 100);
        QCOMPARE(player.listener.told[2].stamp.wallMs, t + 2 * 86'400'000 + 100);
        QCOMPARE(player.listener.told[10].stamp.wallMs, t + 2 * 86'400'000 + 400);
        QCOMPARE(player.listener.told[12].stamp.wallMs, t + 2 * 86'400'000 + 900);
        // The recorded poll's channels are ticked, as they were.
        QVERIFY(player.session.setup().isTicked(1));
        QVERIFY(player.session.setup().isTicked(2));
        QVERIFY(!player.session.setup().isTicked(3));
    }

    void followsTheSpeedTheSpanAndSeeks_data()
    {
        QTest::addColumn<bool>("compressed");
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("until");
        QTest::addColumn<double>("speed");
        QTest::addColumn<qint64>("seekTo");  // ms after the day's 10:00; -1: no seek
        QTest::addColumn<qint64>("playMs");  // how long the clock runs after that
        QTest::addColumn<int>("firstValue"); // the reading first played (the second after the start)
        QTest::addColumn<int>("lastValue");  // and the last
        // One reading a second, value = the second (mod 100000), from 10:00:00 for an hour.
        const double max = ReplayDriver::kFastest;
        for (const bool compressed : {false, true}) {
            const char *form = compressed ? "gz" : "plain";
            const auto row = [form](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(form), QLatin1String(name))));
            };
            row("1x, 10 s") << compressed << ""
                            << "" << 1.0 << qint64(-1) << qint64(10'000) << 0 << 10;
            row("2x, 10 s") << compressed << ""
                            << "" << 2.0 << qint64(-1) << qint64(10'000) << 0 << 20;
            row("10x, 10 s") << compressed << ""
                             << "" << 10.0 << qint64(-1) << qint64(10'000) << 0 << 100;
            row("100x, 10 s") << compressed << ""
                              << "" << 100.0 << qint64(-1) << qint64(10'000) << 0 << 1000;
            row("max, all") << compressed << ""
                            << "" << max << qint64(-1) << qint64(0) << 0 << 3599;
            row("since, 10x") << compressed << "2026-12-07T10:20:00Z"
                              << "" << 10.0 << qint64(-1) << qint64(1'000) << 1200 << 1210;
            row("since and until, max") << compressed << "2026-12-07T10:20:00Z"
                                        << "2026-12-07T10:30:00Z" << max << qint64(-1) << qint64(0) << 1200 << 1800;
            row("seek forward, 1x") << compressed << ""
                                    << "" << 1.0 << qint64(1'800'500) << qint64(3'000) << 1801 << 1803;
            row("seek near the end, max") << compressed << ""
                                          << "" << max << qint64(3'590'000) << qint64(0) << 3590 << 3599;
            row("seek before the span") << compressed << "2026-12-07T10:20:00Z"
                                        << "" << 1.0 << qint64(5'000) << qint64(2'000) << 1200 << 1202;
        }
    }
    void followsTheSpeedTheSpanAndSeeks()
    {
        QFETCH(bool, compressed);
        QFETCH(QString, since);
        QFETCH(QString, until);
        QFETCH(double, speed);
        QFETCH(qint64, seekTo);
        QFETCH(qint64, playMs);
        QFETCH(int, firstValue);
        QFETCH(int, lastValue);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("journal"));
        QByteArray bytes;
        for (int second = 0; second < 3600; ++second)
            bytes += record(kDay + second * 1000, 50'000 + second * 1000, "line",
                            "\"text\":\"value " + QByteArray::number(second) + '"');
        const QString path = folder + QStringLiteral("/B1/2026-12-07.jsonl");
        writeFile(path, bytes);
        if (compressed)
            QVERIFY(!compressJournalFile(path));
        QString error;
        const std::optional<ReplayOptions> options = readReplayOptions(
            folder, {}, since, until, speed == ReplayDriver::kFastest ? "max" : QString::number(speed), &error);
        QVERIFY2(options, qPrintable(error));
        Player player(*options);
        QCOMPARE(player.driver.spanStartMs(),
                 since.isEmpty() ? kDay : QDateTime::fromString(since, Qt::ISODate).toMSecsSinceEpoch());
        if (seekTo >= 0) {
            player.drain();
            player.listener.told.clear();
            player.driver.seek(kDay + seekTo);
        }
        // The clock runs in steps of 100 ms, the session polled after each.
        player.drain();
        for (qint64 ran = 0; ran < playMs; ran += 100) {
            player.clock += 100;
            player.drain();
        }
        if (speed == ReplayDriver::kFastest) {
            for (int i = 0; i < 100 && !player.driver.isFinished(); ++i)
                player.drain();
        }
        const QStringList played = player.listener.whats();
        QVERIFY(!played.isEmpty());
        QCOMPARE(played.front(), QStringLiteral("line value %1").arg(firstValue));
        QCOMPARE(played.back(), QStringLiteral("line value %1").arg(lastValue));
        QCOMPARE(played.size(), lastValue - firstValue + 1);
        QCOMPARE(player.listener.told.back().stamp.wallMs, kDay + lastValue * 1000);
        QCOMPARE(player.driver.skippedLines(), 0);
    }

    void pausesAndChangesSpeedWhereItIs()
    {
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("journal"));
        QByteArray bytes = record(kDay, 0, "poll", "\"channels\":[2],\"period_ms\":100");
        for (int second = 0; second < 600; ++second)
            bytes +=
                record(kDay + second * 1000, second * 1000, "line", "\"text\":\"v" + QByteArray::number(second) + '"');
        writeFile(folder + QStringLiteral("/B1/2026-12-07.jsonl"), bytes);
        ReplayOptions options;
        options.folder = folder;
        Player player(options);
        player.clock += 5'000;
        player.drain();
        QCOMPARE(player.driver.positionMs(), kDay + 5'000);
        player.driver.pause();
        player.clock += 60'000;
        player.drain();
        QCOMPARE(player.driver.positionMs(), kDay + 5'000);
        QCOMPARE(player.listener.told.size(), std::size_t(6));
        player.driver.setSpeed(10);
        player.driver.play();
        player.clock += 1'000;
        player.drain();
        QCOMPARE(player.driver.positionMs(), kDay + 15'000);
        QCOMPARE(player.listener.told.size(), std::size_t(16));
        // Back: it plays again from there, with the channels the recorded poll asked for then.
        player.session.setChannelTicked(2, false);
        player.driver.seek(kDay + 2'000);
        player.drain();
        QCOMPARE(player.listener.told.back().what, QStringLiteral("line v2"));
        QVERIFY(player.session.setup().isTicked(2));
        QCOMPARE(player.driver.spanEndMs(), kDay + 599'000);
        player.driver.seek(kDay + 10'000'000);
        QCOMPARE(player.driver.positionMs(), kDay + 599'000);
        QCOMPARE(player.driver.neighbourMark(kDay, true), std::nullopt);
    }

    void takesNoCommandsAndSaysSoOncePerAction()
    {
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("journal"));
        writeFile(folder + QStringLiteral("/B1/2026-12-07.jsonl"),
                  record(kDay, 0, "line", "\"text\":\"a\"") + record(kDay + 60'000, 60'000, "line", "\"text\":\"b\""));
        ReplayOptions options;
        options.folder = folder;
        Player player(options);
        player.drain();
        const QString refused = QStringLiteral("Not sent : a replay takes no commands");
        player.session.makePinOutputAt(3, true); // two commands: said once
        QCOMPARE(player.listener.log.count(refused), 1);
        QCOMPARE(player.listener.status, refused);
        player.session.sendTyped(u"id");
        QCOMPARE(player.listener.log.count(refused), 2);
        player.session.setPinMonitored(4, true);
        QCOMPARE(player.listener.log.count(refused), 3);
        QVERIFY(!player.session.writeRaw("id\r\n"));
        QCOMPARE(player.listener.log.count(refused), 4);
        // Nothing was lost for it, and the poll's own requests go nowhere without a word.
        QVERIFY(!player.session.isLost());
        player.session.setChannelTicked(1, true);
        player.session.setAnalogRequestsOn(true);
        player.session.poll();
        QCOMPARE(player.listener.log.count(refused), 4);
        QVERIFY(!player.session.isLost());
    }

    void aFolderWithoutAJournalPlaysNothing()
    {
        QTemporaryDir directory;
        ReplayOptions options;
        options.folder = directory.path();
        ReplayDriver driver(options);
        QVERIFY(driver.boards().isEmpty());
        QVERIFY(driver.problem().startsWith(QLatin1String("no journal in ")));
        std::uint32_t count = 9;
        QCOMPARE(driver.listDeviceCount(&count), FtOk);
        QCOMPARE(count, 0u);
        QString error;
        QVERIFY(!readReplayOptions(QString(), {}, {}, {}, {}, &error));
        QVERIFY(!readReplayOptions(directory.path(), {}, QStringLiteral("soon"), {}, {}, &error));
        QCOMPARE(error, QStringLiteral("--since: \"soon\" is not a time (ISO 8601, or -30s, -10m, -2h, -1d)"));
        QVERIFY(!readReplayOptions(directory.path(), {}, {}, {}, QStringLiteral("3"), &error));
        QCOMPARE(error, QStringLiteral("--speed: \"3\" is not 1, 2, 10, 100 or max"));
    }
};

QTEST_GUILESS_MAIN(TestReplay)
#include "tst_replay.moc"
