#include "device/line_assembly.h"
#include "event_recorder.h"
#include "file_helpers.h"
#include "owner_only.h"
#include "recording_driver.h"
#include "records/journal.h"
#include "records/journal_files.h"
#include "records/journal_gzip.h"
#include "records/journal_line.h"
#include "records/journal_reader.h"
#include "records/record_writer.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The journal on disk: what it keeps and in which schema, its files by board, day and size, their rights, the
// oldest going first, and reading it back across files.
class TestJournal : public QObject
{
    Q_OBJECT

private:
    // A board session on DEMO0001 whose wall clock the test sets, with a journal in a folder of its own.
    struct Rig {
        explicit Rig(JournalSettings settings = {}, const QString &folder = QStringLiteral("journal"))
        {
            settings.folder = directory.filePath(folder);
            journal = std::make_unique<Journal>(settings);
            driver.serials = {QStringLiteral("DEMO0001")};
            journal->attach(session);
        }
        QString boardFolder() const { return journalBoardFolder(journal->settings().folder, "DEMO0001"); }
        QStringList files() const
        {
            QStringList names;
            for (const JournalFile &file : journalFiles(boardFolder()))
                names.append(QFileInfo(file.path).fileName());
            return names;
        }
        QList<QJsonObject> records() const
        {
            QList<QJsonObject> all;
            JournalQuery query;
            query.folder = journal->settings().folder;
            query.board = QStringLiteral("DEMO0001");
            readJournal(query, [&all](const JournalRecord &record) {
                all.append(record.fields);
                return true;
            });
            return all;
        }

        QTemporaryDir directory;
        qint64 wallMs = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 500)).toMSecsSinceEpoch();
        qint64 monoMs = 5000;
        RecordingDriver driver;
        BoardSession session{driver, [this] { return monoMs; },
                             [this] {
                                 return wallMs;
                             }};
        std::unique_ptr<Journal> journal;
    };

private Q_SLOTS:
    void keepsWhatTheBoardSaidAndWasToldInTheRunnersSchema()
    {
        Rig rig;
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.session.setChannelTicked(2, true);
        rig.session.sendTyped(u"id");
        rig.driver.queue("adc 2 137\npin 5 1\nhello\n");
        rig.session.poll();
        rig.journal->flush();
        const QList<QJsonObject> records = rig.records();
        QStringList kinds;
        for (const QJsonObject &record : records)
            kinds.append(record.value("kind").toString());
        // The reading's own line is kept as the reading; the log's own lines are not kept.
        QCOMPARE(kinds, QStringList({"selected", "status", "command", "adc", "pin", "line", "line"}));

        // The runner's record of the same reading has the same fields, the journal adds mono_ms.
        SessionEvent reading;
        reading.kind = SessionEvent::Kind::Reading;
        reading.source = &rig.session;
        reading.index = 2;
        reading.value = 137;
        QTemporaryDir other;
        RecordWriter runner(RecordFormat::Jsonl);
        QString error;
        QVERIFY(runner.open(other.filePath("run.jsonl"), &error));
        runner.record(reading);
        runner.close();
        const QJsonObject runnerRecord = QJsonDocument::fromJson(readFile(other.filePath("run.jsonl"))).object();
        QStringList journalKeys = records[3].keys();
        journalKeys.removeOne(QStringLiteral("mono_ms"));
        QCOMPARE(journalKeys, runnerRecord.keys());
        QCOMPARE(records[3].value("channel").toInt(), 2);
        QCOMPARE(records[3].value("value").toInt(), 137);
        QCOMPARE(records[3].value("mono_ms").toInteger(), 5000);
        QCOMPARE(records[3].value("board").toString(), QStringLiteral("DEMO0001"));
        QCOMPARE(records[2].value("text").toString(), QStringLiteral("id\r\n"));
        QVERIFY(records[3].value("time").toString().startsWith(QStringLiteral("2026-12-07T23:59:59.500")));

        // On disk, what one read brought shares one line and its stamp; the replay's reader takes it apart alike.
        const QList<QByteArray> lines = readFile(rig.boardFolder() + "/2026-12-07.jsonl").split('\n');
        QCOMPARE(lines.size(), 5);
        QVERIFY2(lines[3].startsWith("{\"time\":\"2026-12-07T23:59:59.500"), lines[3]);
        QVERIFY2(lines[3].endsWith("\"mono_ms\":5000,\"board\":\"DEMO0001\",\"kind\":\"moment\",\"events\":"
                                   "[[\"adc\",2,137],[\"pin\",5,1,1],[\"line\",\"hello\"]]}"),
                 lines[3]);
        JournalLine moment;
        QVERIFY(decodeJournalLine(lines[3], moment));
        QCOMPARE(moment.events.size(), 4u);
        const JournalLine &pin = moment.events[1];
        QCOMPARE(int(pin.kind), int(JournalLine::Kind::Pin));
        QCOMPARE(pin.pin, 5);
        QCOMPARE(pin.level, 1);
        QCOMPARE(pin.wallMs, moment.wallMs);
        QCOMPARE(pin.monoMs, 5000);
        QCOMPARE(moment.events[3].text, QStringLiteral("hello"));
    }

    // The journal takes a read's bytes apart by itself: what it keeps is what the session made of them, a line
    // that two reads brought whole, an output's level report a line only, a ticked channel's line its reading.
    void keepsWhatTheSessionMadeOfEachRead()
    {
        Rig rig;
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.session.makePinOutput(5);
        rig.session.setChannelTicked(2, true);
        const auto said = [](SessionEvent::Kind kind, int index, int value, QStringView text) {
            if (kind == SessionEvent::Kind::Reading)
                return QStringLiteral("adc %1 %2").arg(index).arg(value);
            if (kind == SessionEvent::Kind::PinLevel)
                return QStringLiteral("pin %1 %2").arg(index).arg(value);
            return QStringLiteral("line ") + text.toString();
        };
        QStringList made;
        const EventStream::Subscription seen = rig.session.events().subscribe(
            [&](const SessionEvent &event) {
                if (event.kind != SessionEvent::Kind::LineReceived || !event.flag)
                    made.append(said(event.kind, event.index, event.value, event.text));
            },
            eventKinds({SessionEvent::Kind::Reading, SessionEvent::Kind::PinLevel, SessionEvent::Kind::LineReceived}));
        // Lines in plain words and not, whole and cut across reads, on inputs, outputs and ticked channels; lines at
        // and past the longest kept whole, and one that reaches it across reads.
        const qsizetype longest = kMaxPendingLine;
        for (const QByteArray &read :
             {QByteArray("adc 2 1"), QByteArray("37\r\npin 5 1\npin 6 0\nadc 3 9\n\nx"), QByteArray(300, 'y') + "\n",
              QByteArray(longest, 'x') + "\n" + QByteArray(longest + 1, 'x') + "\r\r\n\n" +
                  QByteArray("pin 1 1\0\n", 9),
              QByteArray(longest - 1, 'x'), QByteArray("y\npin 2 1\n"),
              QByteArray("pin 7 1\r\npin 07 1\rpin 5 0\nadc 2 5\nadc 4 0\r\nadc 4 01\npin 8 2\npin 9"),
              QByteArray(" 1\ncaf\xE9 debounce 4\ndebounce 4 count reset 17\nadc 4 7\n")}) {
            rig.driver.queue(read);
            rig.session.poll();
        }
        rig.journal->flush();
        QStringList kept;
        for (const QJsonObject &record : rig.records()) {
            const QString kind = record.value("kind").toString();
            if (kind == "adc")
                kept.append(said(SessionEvent::Kind::Reading, record.value("channel").toInt(),
                                 record.value("value").toInt(), {}));
            else if (kind == "pin")
                kept.append(
                    said(SessionEvent::Kind::PinLevel, record.value("pin").toInt(), record.value("level").toInt(), {}));
            else if (kind == "line")
                kept.append(said(SessionEvent::Kind::LineReceived, 0, 0, record.value("text").toString()));
        }
        QCOMPARE(kept, made);
        QCOMPARE(kept.mid(0, 6),
                 QStringList({"adc 2 137", "line pin 5 1", "pin 6 0", "line pin 6 0", "adc 3 9", "line adc 3 9"}));
        QVERIFY(kept.contains(QStringLiteral("line x") + QString(300, 'y')));
        QCOMPARE(kept.mid(kept.size() - 4),
                 QStringList({"line café debounce 4", "line debounce 4 count reset 17", "adc 4 7", "line adc 4 7"}));
    }

    // Reads less than half a second apart share a line, each told by how much later it came; a jump of the wall
    // clock, a command or half a second ends the line, and what was read is written by itself within a second. Each
    // record read back has its own time.
    void readsCloseTogetherShareALine()
    {
        Rig rig;
        rig.wallMs = QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.session.setChannelTicked(1, true);
        rig.session.setChannelTicked(2, true);
        rig.journal->flush();
        const qsizetype before = readFile(rig.boardFolder() + "/2026-12-07.jsonl").count('\n');
        QList<qint64> times;
        for (int poll = 0; poll < 10; ++poll) {
            if (poll == 2)
                rig.wallMs += 3'600'000; // the wall clock set an hour on
            if (poll == 8)
                rig.session.sendTyped(u"id");
            rig.driver.queue(QByteArray("adc 1 ") + QByteArray::number(poll) + "\nadc 2 7\n" +
                             (poll == 1 ? "pin 3 1\n" : ""));
            rig.session.poll();
            times.append(rig.wallMs);
            rig.wallMs += 100;
            rig.monoMs += 100;
        }
        // Not flushed: the last reads are handed over and written when the events stop.
        const QString path = rig.boardFolder() + "/2026-12-07.jsonl";
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path).count("\"kind\":\"moment\"") == 4, 2000);
        QList<QByteArray> lines = readFile(path).trimmed().split('\n').mid(before);
        QCOMPARE(lines.size(), 5);
        QVERIFY2(lines[0].endsWith("\"events\":[[\"adc\",[1,2],[0,7]],[\"at\",100],[\"adc\",[1,2],[1,7]],"
                                   "[\"pin\",3,1,1]]}"),
                 lines[0]);
        QVERIFY2(lines[1].endsWith("\"events\":[[\"adc\",[1,2],[2,7]],[\"at\",100],[\"adc\",[1,2],[3,7]],[\"at\",100],"
                                   "[\"adc\",[1,2],[4,7]],[\"at\",100],[\"adc\",[1,2],[5,7]],[\"at\",100],"
                                   "[\"adc\",[1,2],[6,7]]]}"),
                 lines[1]);
        QVERIFY2(lines[2].contains("\"events\":[[\"adc\",[1,2],[7,7]]]}"), lines[2]);
        QVERIFY2(lines[3].contains("\"kind\":\"command\""), lines[3]);
        QVERIFY2(lines[4].contains("\"events\":[[\"adc\",[1,2],[8,7]],[\"at\",100],[\"adc\",[1,2],[9,7]]]}"), lines[4]);
        QList<qint64> readBack;
        for (const QJsonObject &record : rig.records()) {
            if (record.value("kind").toString() == u"adc" && record.value("channel").toInt() == 1) {
                readBack.append(journalRecordTime(record.value("time").toString()));
                QCOMPARE(record.value("mono_ms").toInteger() - 5000, record.value("value").toInteger() * 100);
            }
        }
        QCOMPARE(readBack, times);
    }

    // A calibrated board's readings carry their value in units from the next reading on, before a restart of the
    // journal and after it; a channel left in counts and a board with no calibration keep the plain record.
    void readingsInUnitsFromTheCalibrationOn()
    {
        Rig rig;
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.session.setChannelTicked(8, true);
        rig.driver.queue("adc 8 200\n");
        rig.session.poll();
        BoardCalibration calibration;
        calibration.channel(8) = {QStringLiteral("Supply"), QStringLiteral("V"), 0.025, 0.0, 3};
        rig.journal->setCalibration(QStringLiteral("DEMO0001"), calibration);
        rig.driver.queue("adc 8 200\nadc 1 10\n");
        rig.session.poll();
        rig.journal->stop();
        QVERIFY(rig.journal->start());
        rig.driver.queue("adc 8 190\n");
        rig.session.poll();
        rig.journal->flush();
        QStringList seen;
        for (const QJsonObject &record : rig.records()) {
            if (record.value("kind").toString() == u"adc")
                seen.append(QStringLiteral("%1 %2 %3")
                                .arg(record.value("value").toInt())
                                .arg(record.contains("scaled") ? QString::number(record.value("scaled").toDouble())
                                                               : QStringLiteral("-"))
                                .arg(record.value("unit").toString()));
        }
        QCOMPARE(seen, QStringList({"200 - ", "200 5 V", "10 10 ", "190 4.75 V"}));
    }

    // What the journal says was sent is what reached the board: nothing without a board, the bytes' text with the
    // typed text beside it, a poll once per change of what it asks; every line strict JSON.
    void keepsWhatWentOnTheWire()
    {
        for (const bool everyPoll : {false, true}) {
            JournalSettings settings;
            settings.everyPoll = everyPoll;
            Rig rig(settings);
            QVERIFY(rig.journal->start());
            rig.session.sendTyped(u"led on");
            rig.session.selectDevice(0);
            // An arrow and an omega have no byte in ISO-8859-1 nor in Windows' Western code page.
            rig.session.sendTyped(u"Temp\u00E9rature \u2192 5 \u03A9");
            rig.session.setAnalogRequestsOn(true);
            rig.session.setChannelTicked(2, true);
            rig.session.poll();
            rig.session.poll();
            rig.session.setChannelTicked(8, true);
            rig.session.poll();
            rig.journal->flush();
            QCOMPARE(QDir(rig.journal->settings().folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                     QStringList{"DEMO0001"});
            qint64 skipped = -1;
            QStringList commands;
            JournalQuery query{rig.journal->settings().folder, "DEMO0001", {}, {}, {"command", "poll"}};
            readJournal(
                query,
                [&commands](const JournalRecord &record) {
                    QJsonParseError error;
                    QJsonDocument::fromJson(record.line, &error);
                    commands.append(error.error == QJsonParseError::NoError ? journalTextLine(record).mid(25)
                                                                            : QStringLiteral("not JSON"));
                    return true;
                },
                &skipped);
            QCOMPARE(skipped, 0);
            const QString typed = QStringLiteral("sent : Temp\u00E9rature ? 5 ?\\r\\n  (typed : Temp\u00E9rature "
                                                 "\u2192 5 \u03A9\\r\\n)");
            if (everyPoll)
                QCOMPARE(commands,
                         QStringList({typed, "sent : adc  2\\n", "sent : adc  2\\n", "sent : adc  2\\nadc  8\\n"}));
            else
                QCOMPARE(commands, QStringList({typed, "poll : adc 2 every 100 ms", "poll : adc 2 8 every 100 ms"}));
        }
    }

    // Readable by its owner only, also in a folder whose name has blanks and letters beyond ASCII.
    void keptToItsOwner()
    {
        Rig rig({}, QStringLiteral("Zo\u00EB Smith/journal \u00E9t\u00E9"));
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.session.sendTyped(u"id");
        rig.journal->flush();
        QCOMPARE(rig.records().size(), 3);
        if (!accessIsKeptOnDisk())
            QSKIP("Wine keeps no access list on a folder; Windows itself does");
        QCOMPARE(othersMayReach(rig.journal->settings().folder, true), QString());
        QCOMPARE(othersMayReach(rig.boardFolder(), true), QString());
        QCOMPARE(othersMayReach(rig.boardFolder() + QStringLiteral("/2026-12-07.jsonl"), false), QString());
    }

    void aNewFileEachDayAndPastTheSizeLimit()
    {
        JournalSettings small;
        small.maxFileBytes = 600;
        Rig rig(small);
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0); // 23:59:59.500
        rig.journal->flush();
        rig.wallMs += 1000; // past midnight
        rig.session.sendTyped(u"next day");
        rig.journal->flush();
        QCOMPARE(rig.files(), QStringList({"2026-12-07.jsonl", "2026-12-08.jsonl"}));
        for (int i = 0; i < 20; ++i)
            rig.session.sendTyped(QStringLiteral("command %1").arg(i));
        rig.journal->flush();
        QVERIFY(rig.files().size() >= 4);
        QCOMPARE(rig.files().mid(0, 4),
                 QStringList({"2026-12-07.jsonl", "2026-12-08.jsonl", "2026-12-08.1.jsonl", "2026-12-08.2.jsonl"}));
        for (const JournalFile &file : journalFiles(rig.boardFolder()))
            QVERIFY2(file.size <= 600 + 200, qPrintable(file.path)); // one record past the limit at most
        // Read back across the files, in order.
        QStringList commands;
        for (const QJsonObject &record : rig.records()) {
            if (record.value("kind").toString() == u"command")
                commands.append(record.value("text").toString().trimmed());
        }
        QCOMPARE(commands.first(), QStringLiteral("next day"));
        QCOMPARE(commands.last(), QStringLiteral("command 19"));
        QCOMPARE(commands.size(), 21);
    }

    void theOldestGoFirst()
    {
        JournalSettings settings;
        settings.maxTotalBytes = 3000;
        settings.maxAgeDays = 30;
        Rig rig(settings);
        QVERIFY(QDir().mkpath(rig.boardFolder()));
        const QString other = journalBoardFolder(rig.journal->settings().folder, "OTHER");
        QVERIFY(QDir().mkpath(other));
        writeFile(rig.boardFolder() + "/2026-10-01.jsonl", QByteArray(100, 'x')); // older than 30 days
        writeFile(other + "/2026-12-01.jsonl", QByteArray(1500, 'x'));            // the oldest of the rest
        writeFile(rig.boardFolder() + "/2026-12-02.jsonl", QByteArray(1500, 'x'));
        writeFile(rig.boardFolder() + "/2026-12-06.jsonl", QByteArray(1000, 'x'));
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.journal->flush();
        QVERIFY(!QFile::exists(rig.boardFolder() + "/2026-10-01.jsonl"));
        QVERIFY(!QFile::exists(other + "/2026-12-01.jsonl"));
        QVERIFY(QFile::exists(rig.boardFolder() + "/2026-12-02.jsonl"));
        QCOMPARE(rig.files(), QStringList({"2026-12-02.jsonl", "2026-12-06.jsonl", "2026-12-07.jsonl"}));
    }

#ifdef VANTREL_TEST_FILE_MODES
    // What someone else could have put in the journal's way is refused or left alone, never written through.
    void nothingIsWrittenOrDeletedThroughALink()
    {
        Rig rig;
        const QString root = rig.journal->settings().folder;
        const QString victim = rig.directory.filePath("victim");
        QVERIFY(QDir().mkpath(victim));
        writeFile(victim + "/2026-01-01.jsonl", "theirs\n");
        writeFile(victim + "/2026-12-07.jsonl", "theirs\n");
        QFile::setPermissions(victim + "/2026-12-07.jsonl",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        QVERIFY(QDir().mkpath(rig.boardFolder()));
        QVERIFY(QFile::link(victim, root + "/OTHER"));                                               // a board folder
        QVERIFY(QFile::link(victim + "/2026-12-07.jsonl", rig.boardFolder() + "/2026-12-07.jsonl")); // today's file
        QSignalSpy stopped(rig.journal.get(), &Journal::stopped);
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.journal->flush();
        QTRY_COMPARE(stopped.count(), 1);
        QVERIFY2(stopped[0][0].toString().endsWith("2026-12-07.jsonl: it is a symbolic link"),
                 qPrintable(stopped[0][0].toString()));
        // Pruned by age past a link: nothing of the victim's goes, nothing is added to it nor changed.
        JournalSettings prune = rig.journal->settings();
        prune.maxAgeDays = 1;
        pruneJournal(prune, QDate(2026, 12, 8), {});
        QCOMPARE(readFile(victim + "/2026-01-01.jsonl"), QByteArray("theirs\n"));
        QCOMPARE(readFile(victim + "/2026-12-07.jsonl"), QByteArray("theirs\n"));
        QVERIFY(QFileInfo(victim + "/2026-12-07.jsonl").permissions() & QFileDevice::ReadOther);
    }

    void aFolderOthersMayWriteInIsRefused_data()
    {
        QTest::addColumn<QFileDevice::Permissions>("mode");
        QTest::addColumn<QString>("why");
        const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        QTest::newRow("0777") << (owner | QFileDevice::WriteGroup | QFileDevice::WriteOther | QFileDevice::ReadOther |
                                  QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup)
                              << "others may write in it (mode 0777)";
        QTest::newRow("0770") << (owner | QFileDevice::WriteGroup | QFileDevice::ReadGroup | QFileDevice::ExeGroup)
                              << "others may write in it (mode 0770)";
        QTest::newRow("0755 is made private") << (owner | QFileDevice::ReadOther | QFileDevice::ExeOther) << "";
    }

    void aFolderOthersMayWriteInIsRefused()
    {
        QFETCH(QFileDevice::Permissions, mode);
        QFETCH(QString, why);
        Rig rig;
        const QString root = rig.journal->settings().folder;
        QVERIFY(QDir().mkpath(root));
        QVERIFY(QFile::setPermissions(root, mode));
        QString error;
        QCOMPARE(rig.journal->start(&error), why.isEmpty());
        if (why.isEmpty())
            QCOMPARE(othersMayReach(root, true), QString());
        else
            QCOMPARE(error, QStringLiteral("the folder %1 is not private: %2").arg(root, why));
    }
#endif

    // Two runs journaling one board into one folder at once: every record of both is whole and kept.
    void twoWritersShareAFolder()
    {
        JournalSettings small;
        small.maxFileBytes = 64 * 1024;
        Rig first(small);
        Journal second(first.journal->settings());
        RecordingDriver driver;
        driver.serials = {QStringLiteral("DEMO0001")};
        BoardSession other(
            driver, [&first] { return first.monoMs; }, [&first] { return first.wallMs; });
        second.attach(other);
        QVERIFY(first.journal->start());
        QVERIFY(second.start());
        first.session.selectDevice(0);
        other.selectDevice(0);
        for (int i = 0; i < 3000; ++i) {
            first.session.sendTyped(QStringLiteral("first %1").arg(i));
            other.sendTyped(QStringLiteral("second %1").arg(i));
        }
        first.journal->flush();
        second.flush();
        qint64 skipped = -1;
        int commands = 0;
        JournalQuery query{first.journal->settings().folder, "DEMO0001", {}, {}, {"command"}};
        readJournal(
            query, [&commands](const JournalRecord &) { return ++commands; }, &skipped);
        QCOMPARE(skipped, 0);
        QCOMPARE(commands, 6000);
        QVERIFY(first.files().size() > 2);
    }

    // A day that is over is compressed and read back the same; a compressed file cut short gives what it holds.
    void closedDaysAreCompressed()
    {
        Rig rig;
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        for (int i = 0; i < 2000; ++i)
            rig.session.sendTyped(QStringLiteral("command %1").arg(i));
        rig.journal->flush();
        rig.journal->stop();
        const QList<QJsonObject> plain = rig.records();
        const QString file = rig.boardFolder() + "/2026-12-07.jsonl";
        const qint64 plainSize = QFileInfo(file).size();
        QFile touched(file);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
        touched.close();
        // Not while it is today's, nor while it is in use.
        QCOMPARE(compressClosedJournalFiles(rig.boardFolder(), QDate(2026, 12, 7), {}), std::nullopt);
        QCOMPARE(compressClosedJournalFiles(rig.boardFolder(), QDate(2026, 12, 8), {file}), std::nullopt);
        QCOMPARE(rig.files(), QStringList{"2026-12-07.jsonl"});
        QCOMPARE(compressClosedJournalFiles(rig.boardFolder(), QDate(2026, 12, 8), {}), std::nullopt);
        QCOMPARE(rig.files(), QStringList{"2026-12-07.jsonl.gz"});
        QCOMPARE(rig.records(), plain);
        const qint64 compressedSize = QFileInfo(file + ".gz").size();
        QVERIFY2(compressedSize * 8 < plainSize, qPrintable(QString::number(compressedSize)));
        if (accessIsKeptOnDisk())
            QCOMPARE(othersMayReach(file + ".gz", false), QString());

        const QByteArray whole = readFile(file + ".gz");
        writeFile(file + ".gz", whole.left(whole.size() / 2));
        qint64 skipped = -1;
        int read = 0;
        JournalQuery query{rig.journal->settings().folder, "DEMO0001", {}, {}, {}};
        QVERIFY(readJournal(
            query, [&read](const JournalRecord &) { return ++read; }, &skipped));
        QCOMPARE(skipped, 1);
        QVERIFY(read > 10 && read < plain.size());
    }

    void aLineCutShortIsSkippedAndTheNextStartsFresh()
    {
        Rig rig;
        QVERIFY(QDir().mkpath(rig.boardFolder()));
        const QString file = rig.boardFolder() + "/2026-12-07.jsonl";
        writeFile(file, "{\"time\":\"2026-12-07T10:00:00.000+00:00\",\"kind\":\"line\",\"text\":\"whole\"}\n"
                        "{\"time\":\"2026-12-07T10:00:01.000+00:00\",\"kind\":\"li");
        QVERIFY(rig.journal->start());
        rig.session.selectDevice(0);
        rig.journal->flush();
        QStringList kinds;
        for (const QJsonObject &record : rig.records())
            kinds.append(record.value("kind").toString());
        QCOMPARE(kinds, QStringList({"line", "selected", "status"}));
    }

    void readingBackChoosesByTimeAndKind_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("all") << QString() << QString() << QStringList() << QStringList({"a", "b", "c"});
        QTest::newRow("since, ISO") << "2026-12-07T10:00:01" << QString() << QStringList() << QStringList({"b", "c"});
        QTest::newRow("until, with offset")
            << QString() << "2026-12-07T10:00:01.000+00:00" << QStringList() << QStringList({"a", "b"});
        QTest::newRow("a day") << "2026-12-08" << QString() << QStringList() << QStringList({"c"});
        QTest::newRow("kinds") << QString() << QString() << QStringList{"command"} << QStringList({"b"});
    }

    void readingBackChoosesByTimeAndKind()
    {
        QFETCH(QString, since);
        QFETCH(QString, until);
        QFETCH(QStringList, kinds);
        QFETCH(QStringList, texts);
        QTemporaryDir directory;
        const QString folder = journalBoardFolder(directory.path(), "B1");
        QVERIFY(QDir().mkpath(folder));
        writeFile(
            folder + "/2026-12-07.jsonl",
            "{\"time\":\"2026-12-07T10:00:00.000+00:00\",\"board\":\"B1\",\"kind\":\"line\",\"text\":\"a\"}\n"
            "{\"time\":\"2026-12-07T10:00:01.000+00:00\",\"board\":\"B1\",\"kind\":\"command\",\"text\":\"b\"}\n");
        writeFile(folder + "/2026-12-08.jsonl",
                  "{\"time\":\"2026-12-08T09:00:00.000+00:00\",\"board\":\"B1\",\"kind\":\"line\",\"text\":\"c\"}\n");
        JournalQuery query;
        query.folder = directory.path();
        query.board = QStringLiteral("B1");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (!since.isEmpty())
            query.sinceMs = journalTime(since, now);
        if (!until.isEmpty())
            query.untilMs = journalTime(until, now);
        query.kinds = kinds;
        QStringList seen;
        QVERIFY(readJournal(query, [&seen](const JournalRecord &record) {
            seen.append(record.fields.value("text").toString());
            return true;
        }));
        QCOMPARE(seen, texts);
        query.board = QStringLiteral("NONE");
        QVERIFY(!readJournal(query, [](const JournalRecord &) { return true; }));
    }

    // What a journal file holds is not trusted (a moment's events no more than other records): lines that are not
    // records are skipped and counted, text fields are quoted in CSV and control characters escaped in text, and --list
    // names each board with its span.
    void aCraftedFileIsReadSafely()
    {
        QTemporaryDir directory;
        const QString folder = journalBoardFolder(directory.path(), "B1");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray time = "{\"time\":\"2026-12-07T10:00:00.000+00:00\",\"board\":\"B1\",";
        writeFile(folder + "/2026-12-07.jsonl",
                  time + "\"kind\":\"adc\",\"channel\":2,\"value\":7}\n" + time + "\"kind\":\"x,y\\nINJECTED,ROW\"}\n" +
                      time + "\"kind\":\"adc\",\"channel\":2,\"value\":1e300}\n" + time +
                      "\"kind\":\"adc\",\"channel\":9,\"value\":1}\n" + time +
                      "\"kind\":\"pin\",\"pin\":3,\"level\":0.5}\n" + "not a record\n" + time +
                      "\"kind\":\"moment\",\"events\":[[\"adc\",3,5],[\"line\",\"ok\"]]}\n" + time +
                      "\"kind\":\"moment\",\"events\":[[\"adc\",9,1]]}\n" + time +
                      "\"kind\":\"moment\",\"events\":[[\"pin\",3,\"1\"]]}\n" + time +
                      "\"kind\":\"moment\",\"events\":[[\"line\"]]}\n" + time + "\"kind\":\"moment\",\"events\":[]}\n" +
                      time + "\"kind\":\"line\",\"text\":\"\\u001b[31mred\\r\"}\n");
        JournalQuery query;
        query.folder = directory.path();
        query.board = QStringLiteral("B1");
        QList<QByteArray> rows;
        QStringList lines;
        qint64 skipped = 0;
        QVERIFY(readJournal(
            query,
            [&](const JournalRecord &record) {
                rows.append(journalCsvRow(record));
                lines.append(journalTextLine(record).mid(25));
                return true;
            },
            &skipped));
        // A moment's events are records of their own; a moment with one bad event is no record at all.
        QCOMPARE(skipped, 8);
        QCOMPARE(rows.size(), 5);
        QVERIFY2(rows[2].endsWith(",B1,adc,3,,5,,"), rows[2]);
        QVERIFY2(rows[3].endsWith(",B1,line,,,,,ok"), rows[3]);
        QVERIFY2(rows[1].endsWith(",\"x,y\nINJECTED,ROW\",,,,,"), rows[1]);
        QCOMPARE(lines.last(), QStringLiteral("received : \\x1b[31mred\\r"));

        const QList<JournalBoard> boards = journalBoards(directory.path());
        QCOMPARE(boards.size(), 1);
        QCOMPARE(boards[0].board, QStringLiteral("B1"));
        QCOMPARE(boards[0].firstMs, QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch());
        QCOMPARE(boards[0].lastMs, boards[0].firstMs);
        QCOMPARE(boards[0].bytes, QFileInfo(folder + "/2026-12-07.jsonl").size());
    }

    // A moment's line tells its events apart: readings of one stamp share an event, ["at",N] moves the events after
    // it N ms on (time, t_ms and mono_ms alike). Both readers take the same, and refuse a line with one bad event.
    void momentEventsAndTheirTimes_data()
    {
        QTest::addColumn<QByteArray>("events");
        // "kind number value LATER", "line TEXT LATER" (LATER: ms on the wall clock, "/ms" on the other when it
        // differs); none: refused
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("readings of one stamp") << QByteArray("[['adc',[1,8],[5,-6]],['pin',3,1]]")
                                               << QStringList({"adc 1 5 0", "adc 8 -6 0", "pin 3 1 0"});
        QTest::newRow("later events") << QByteArray("[['adc',1,5],['at',100],['pin',3,1],['at',50],['line','ok']]")
                                      << QStringList({"adc 1 5 0", "pin 3 1 100", "line ok 150"});
        QTest::newRow("the lines that said them")
            << QByteArray("[['adc',3,200,1],['pin',18,0,1]]")
            << QStringList({"adc 3 200 0", "line adc 3 200 0", "pin 18 0 0", "line pin 18 0 0"});
        QTest::newRow("a mark other than 1") << QByteArray("[['pin',3,1,2]]") << QStringList();
        QTest::newRow("the wall clock's own steps")
            << QByteArray("[['adc',1,5],['at',100,101],['adc',1,6],['at',0,-2],['line','x']]")
            << QStringList({"adc 1 5 0", "adc 1 6 101/100", "line x 99/100"});
        QTest::newRow("past midnight") << QByteArray("[['at',86400000],['adc',[2],[7]]]")
                                       << QStringList({"adc 2 7 86400000"});
        QTest::newRow("fewer values than channels") << QByteArray("[['adc',[1,2],[5]]]") << QStringList();
        QTest::newRow("more values than channels") << QByteArray("[['adc',[1],[5,6]]]") << QStringList();
        QTest::newRow("no channels") << QByteArray("[['adc',[],[]]]") << QStringList();
        QTest::newRow("channel 9") << QByteArray("[['adc',[1,9],[5,6]]]") << QStringList();
        QTest::newRow("a value beyond 32 bits") << QByteArray("[['adc',[1],[4294967296]]]") << QStringList();
        QTest::newRow("back in time") << QByteArray("[['adc',1,5],['at',-1],['adc',1,6]]") << QStringList();
        QTest::newRow("more than a day") << QByteArray("[['at',86400001],['adc',1,6]]") << QStringList();
        QTest::newRow("a fraction") << QByteArray("[['at',1.5],['adc',1,6]]") << QStringList();
        QTest::newRow("a wall step of more than a day")
            << QByteArray("[['at',1,-86400001],['adc',1,6]]") << QStringList();
        QTest::newRow("only a step") << QByteArray("[['at',100]]") << QStringList();
    }
    void momentEventsAndTheirTimes()
    {
        QFETCH(QByteArray, events);
        QFETCH(QStringList, expected);
        // Rows write ' for ": easier to read.
        const QByteArray line =
            QByteArray("{'time':'2026-12-07T10:00:00.000+01:00','t_ms':7,'mono_ms':5000,'board':'B1','kind':'moment',"
                       "'events':" +
                       events + '}')
                .replace('\'', '"');
        const qint64 wallMs =
            QDateTime::fromString("2026-12-07T10:00:00.000+01:00", Qt::ISODateWithMs).toMSecsSinceEpoch();
        // How much later on the wall clock, and on the other when it differs: "101/100".
        const auto laterText = [](qint64 wall, qint64 mono) {
            return QString::number(wall) + (wall == mono ? QString() : u'/' + QString::number(mono));
        };
        const auto said = [&](const JournalLine &event) {
            const int number = event.kind == JournalLine::Kind::Pin ? event.pin : event.channel;
            const int value = event.kind == JournalLine::Kind::Pin ? event.level : event.value;
            const QString later = laterText(event.wallMs - wallMs, event.monoMs - 5000);
            if (event.kind == JournalLine::Kind::Line)
                return QStringLiteral("line %1 %2").arg(event.text, later);
            const QString kind = event.kind == JournalLine::Kind::Adc ? "adc" : "pin";
            return QStringLiteral("%1 %2 %3 %4").arg(kind).arg(number).arg(value).arg(later);
        };
        for (const bool slowly : {false, true}) {
            JournalLine moment;
            const bool read = slowly ? decodeJournalLineSlowly(line, moment) : decodeJournalLine(line, moment);
            QCOMPARE(read, !expected.isEmpty());
            QStringList seen;
            for (const JournalLine &event : moment.events)
                seen.append(said(event));
            QCOMPARE(seen, read ? expected : QStringList());
        }
        // As `vantrel-cli journal` reads them: each record's time in the moment's offset, its t_ms and mono_ms later.
        const QJsonObject fields = QJsonDocument::fromJson(line).object();
        const std::optional<QList<QJsonObject>> records = journalMomentRecords(fields);
        QCOMPARE(records.has_value(), !expected.isEmpty());
        for (qsizetype i = 0; records && i < records->size(); ++i) {
            const QJsonObject &record = records->at(i);
            const QString later = expected[i].section(' ', -1);
            const qint64 wallLater = later.section('/', 0, 0).toLongLong();
            const qint64 monoLater = later.contains('/') ? later.section('/', 1).toLongLong() : wallLater;
            QCOMPARE(record.value("time").toString(),
                     journalTimeText(QDateTime::fromMSecsSinceEpoch(wallMs + wallLater, Qt::OffsetFromUTC, 3600)));
            QCOMPARE(record.value("t_ms").toInteger(), 7 + monoLater);
            QCOMPARE(record.value("mono_ms").toInteger(), 5000 + monoLater);
        }
    }

    // A step past what a time can be written as (the year 9999 in the moment's offset) refuses the line in both.
    void aStepPastTheLastWritableTimeIsRefused()
    {
        const QByteArray line = "{\"time\":\"9999-12-31T23:59:59.999+00:00\",\"kind\":\"moment\",\"events\":"
                                "[[\"adc\",1,2],[\"at\",1],[\"adc\",1,3]]}";
        JournalLine fast;
        JournalLine slow;
        QVERIFY(!decodeJournalLine(line, fast));
        QVERIFY(!decodeJournalLineSlowly(line, slow));
    }

    void relativeTimes()
    {
        const qint64 now = 10'000'000'000;
        QCOMPARE(journalTime("-30s", now), now - 30'000);
        QCOMPARE(journalTime("-10m", now), now - 600'000);
        QCOMPARE(journalTime("-2h", now), now - 7'200'000);
        QCOMPARE(journalTime("-1d", now), now - 86'400'000);
        QVERIFY(!journalTime("yesterday", now));
        QVERIFY(!journalTime("-5w", now));
    }

#ifdef VANTREL_TEST_FILE_SIZE_LIMIT
    void aFullDiskStopsTheJournalOnceAndTheSessionGoesOn()
    {
        Rig rig;
        QVERIFY(rig.journal->start());
        QSignalSpy stopped(rig.journal.get(), &Journal::stopped);
        rig.session.selectDevice(0);
        rig.journal->flush();
        {
            FullDisk full(QFileInfo(rig.boardFolder() + "/2026-12-07.jsonl").size() + 10);
            for (int i = 0; i < 50; ++i)
                rig.session.sendTyped(QStringLiteral("a command that does not fit %1").arg(i));
            rig.journal->flush();
        }
        QTRY_COMPARE(stopped.count(), 1);
        QVERIFY2(stopped[0][0].toString().endsWith("2026-12-07.jsonl: File too large"),
                 qPrintable(stopped[0][0].toString()));
        QVERIFY(!rig.journal->isRunning());
        rig.session.sendTyped(u"still sent");
        QCOMPARE(rig.driver.writes().last(), QByteArray("still sent\r\n"));
        // On again, it goes on where it stopped.
        QVERIFY(rig.journal->start());
        rig.session.sendTyped(u"kept again");
        rig.journal->flush();
        QCOMPARE(rig.records().last().value("text").toString(), QStringLiteral("kept again\r\n"));
        QCOMPARE(stopped.count(), 1);
    }

    // A board's reads gathered for a line are written when another board's file fails and the journal stops.
    void heldReadsAreWrittenWhenAnotherBoardsFileFails()
    {
        Rig rig;
        RecordingDriver otherDriver;
        otherDriver.serials = {QStringLiteral("DEMO0002")};
        BoardSession other(
            otherDriver, [&rig] { return rig.monoMs; }, [&rig] { return rig.wallMs; });
        rig.journal->attach(other);
        QVERIFY(rig.journal->start());
        QSignalSpy stopped(rig.journal.get(), &Journal::stopped);
        rig.session.selectDevice(0);
        other.selectDevice(0);
        other.setChannelTicked(1, true);
        rig.session.sendTyped(u"a command that makes this board's file the larger"); // the limit is the same for all
        rig.journal->flush();
        {
            FullDisk full(QFileInfo(rig.boardFolder() + "/2026-12-07.jsonl").size() + 10);
            otherDriver.queue("adc 1 5\n");
            other.poll();
            rig.session.sendTyped(u"a command that does not fit");
            QTRY_COMPARE(stopped.count(), 1);
        }
        const QByteArray kept =
            readFile(journalBoardFolder(rig.journal->settings().folder, "DEMO0002") + "/2026-12-07.jsonl");
        QVERIFY2(kept.contains("\"events\":[[\"adc\",1,5]]") ||
                     kept.contains("\"kind\":\"adc\",\"channel\":1,\"value\":5"),
                 kept.constData());
    }
#endif
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
