#include "replay_bench.h"

#include "device/demo_board.h"
#include "measure.h"
#include "records/journal_files.h"
#include "records/journal_gzip.h"
#include "records/record_writer.h"
#include "replay/replay_driver.h"
#include "session/board_session.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 kDayMs = 86'400'000;
constexpr qint64 kFileBytes = 100LL * 1024 * 1024; // as the journal rotates

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A day of 8 channels read 10 times a second, as the journal writes it: files of at most 100 MiB.
qint64 writeDay(const QString &boardFolder, qint64 startMs)
{
    QDir().mkpath(boardFolder);
    const QDate day = QDateTime::fromMSecsSinceEpoch(startMs).date();
    RecordWriter writer(RecordFormat::Jsonl);
    int index = 0;
    QString error;
    const auto open = [&] {
        writer.open(journalFileName(boardFolder, day, index++), &error);
        writer.setMonotonicField(true);
        writer.setOrigin(0);
    };
    open();
    SessionEvent event;
    event.kind = SessionEvent::Kind::CommandSent;
    event.index = 100;
    event.value = 0x1FE;
    event.stamp = {1'000'000, startMs};
    writer.poll(event, u"BENCH001");
    event.kind = SessionEvent::Kind::Reading;
    qint64 records = 0;
    for (qint64 t = 0; t < kDayMs; t += 100) {
        event.stamp = {1'000'000 + t, startMs + t};
        for (int channel = 1; channel <= 8; ++channel) {
            event.index = channel;
            event.value = DemoBoard::analogLevel(channel, t);
            writer.record(event, u"BENCH001");
        }
        records += 8;
        if (writer.pendingBytes() > 1024 * 1024) {
            writer.flush();
            if (writer.fileSize() >= kFileBytes) {
                writer.close();
                open();
            }
        }
    }
    writer.close();
    return records;
}

struct Played {
    double seconds = 0;
    qint64 events = 0;
    double peakRssMb = 0;
};

// The whole span played as fast as it goes through one session; each reading counted.
Played playAll(const QString &folder)
{
    ReplayOptions options;
    options.folder = folder;
    options.speed = ReplayDriver::kFastest;
    ReplayDriver driver(options);
    BoardSession session(driver);
    qint64 events = 0;
    const auto counting = session.events().subscribe([&events](const SessionEvent &) { ++events; },
                                                     eventKinds({SessionEvent::Kind::Reading}));
    session.scanDevices();
    session.selectDevice(0);
    Played played;
    QElapsedTimer timer;
    timer.start();
    qint64 polls = 0;
    while (!driver.isFinished()) {
        session.poll();
        if (++polls % 64 == 0)
            played.peakRssMb = std::max(played.peakRssMb, rssMb());
    }
    played.seconds = double(timer.nsecsElapsed()) / 1e9;
    played.events = events;
    return played;
}

struct Seeks {
    double firstMs = 0; // the first seek into each file, which reads its index
    double marksMs = 0; // reading the day through once for its commands, gaps, losses and polls
    double medianMs = 0;
    double maxMs = 0;
    int count = 0;
};

// Random moments of the day: the seek, and the first reading of the moment read by the session.
Seeks seekAround(const QString &folder, qint64 startMs)
{
    ReplayOptions options;
    options.folder = folder;
    options.speed = ReplayDriver::kFastest;
    ReplayDriver driver(options);
    BoardSession session(driver);
    session.scanDevices();
    session.selectDevice(0);
    driver.pause();
    // The commands, gaps, losses and polls, read once through the day (the Replay window starts this at once).
    Seeks seeks;
    QElapsedTimer marking;
    marking.start();
    driver.neighbourMark(startMs, true);
    seeks.marksMs = double(marking.nsecsElapsed()) / 1e6;
    const auto seekOnce = [&](qint64 at) {
        QElapsedTimer timer;
        timer.start();
        driver.seek(at);
        const qint64 before = session.bytesReceived();
        driver.play();
        for (int i = 0; i < 100 && session.bytesReceived() == before; ++i)
            session.poll();
        driver.pause();
        return double(timer.nsecsElapsed()) / 1e6;
    };
    // Once into every file: the indexes are read.
    QElapsedTimer indexing;
    indexing.start();
    for (qint64 at = startMs + 1000; at < startMs + kDayMs; at += kDayMs / 16)
        seekOnce(at);
    seeks.firstMs = double(indexing.nsecsElapsed()) / 1e6;
    QRandomGenerator random(5);
    std::vector<double> times;
    for (int i = 0; i < 50; ++i)
        times.push_back(seekOnce(startMs + qint64(random.bounded(double(kDayMs)))));
    seeks.medianMs = medianOf(times);
    seeks.maxMs = *std::max_element(times.begin(), times.end());
    seeks.count = int(times.size());
    return seeks;
}

} // namespace

void replayBench()
{
    QTemporaryDir plain;
    QTemporaryDir compressed;
    const qint64 startMs = QDateTime(QDate(2026, 12, 7), QTime(0, 0)).toMSecsSinceEpoch();
    const QString plainBoard = journalBoardFolder(plain.path(), QStringLiteral("BENCH001"));
    const qint64 records = writeDay(plainBoard, startMs);
    qint64 plainBytes = 0;
    for (const JournalFile &file : journalFiles(plainBoard))
        plainBytes += file.size;

    // The whole day, as fast as it goes: readings per second, and the memory taken meanwhile.
    const double rssBefore = rssMb();
    const Played played = playAll(plain.path());
    if (played.events != records)
        std::fprintf(stderr, "replay: %lld readings played of %lld\n", static_cast<long long>(played.events),
                     static_cast<long long>(records));
    std::printf("replay_events_per_s: %.0f events/s (%lld readings of a 24 h, 8-channel journal, %.1f MB as written, "
                "through the session in %.1f s)\n",
                double(played.events) / played.seconds, static_cast<long long>(played.events), double(plainBytes) / 1e6,
                played.seconds);
    std::printf("replay_rss_mb_24h: %.0f MB at most while that day played (%.0f MB before it started)\n",
                played.peakRssMb, rssBefore);
    std::fflush(stdout);

    const Seeks plainSeeks = seekAround(plain.path(), startMs);
    std::printf("replay_seek_ms_24h: %.1f ms median, %.1f ms at most (%d random moments of the plain day; the first "
                "seek into each file, which reads its index: %.0f ms for all 16; the day read through once for its "
                "commands, gaps, "
                "losses and polls: %.0f ms)\n",
                plainSeeks.medianMs, plainSeeks.maxMs, plainSeeks.count, plainSeeks.firstMs, plainSeeks.marksMs);
    std::fflush(stdout);

    // The same day compressed, as the journal leaves a day that is over.
    const QString compressedBoard = journalBoardFolder(compressed.path(), QStringLiteral("BENCH001"));
    QDir().mkpath(compressedBoard);
    qint64 compressedBytes = 0;
    for (const JournalFile &file : journalFiles(plainBoard)) {
        const QString copy = compressedBoard + u'/' + QFileInfo(file.path).fileName();
        QFile::copy(file.path, copy);
        compressJournalFile(copy);
    }
    for (const JournalFile &file : journalFiles(compressedBoard))
        compressedBytes += file.size;
    const Seeks gzSeeks = seekAround(compressed.path(), startMs);
    std::printf("replay_seek_ms_24h_gz: %.1f ms median, %.1f ms at most (%d random moments of the day compressed, "
                "%.1f MB; the first seek into each file, which decompresses it once for its index: %.0f ms for all "
                "16; the day read through once for its marks: %.0f ms)\n",
                gzSeeks.medianMs, gzSeeks.maxMs, gzSeeks.count, double(compressedBytes) / 1e6, gzSeeks.firstMs,
                gzSeeks.marksMs);
    std::fflush(stdout);
}
