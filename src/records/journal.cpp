#include "records/journal.h"

#include "device/code_page.h"
#include "device/line_assembly.h"
#include "records/journal_files.h"
#include "records/private_access.h"
#include "records/record_writer.h"
#include "session/board_session.h"
#include "session/board_setup.h"
#include "session/poller.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <array>
#include <chrono>
#include <map>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <sys/resource.h>
#endif

QString defaultJournalFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vantrel-control/journal");
}

// One event as the journal keeps it: copied on the session's thread, written on the journal's.
// Its texts are kept side by side in one string of its batch (no allocation per event): where they start there.
// What a read brought is kept as its bytes (in one byte array of the batch), its lines taken apart by the writer.
struct Journal::Item {
    SessionEvent::Kind kind = SessionEvent::Kind::LogLine;
    EventStamp stamp;
    int board = 0; // in the journal's list of boards
    int index = 0;
    std::int32_t value = 0;
    bool flag = false;
    bool pollSummary = false; // a poll record, not a command
    qsizetype textAt = 0;
    qsizetype textSize = 0;
    qsizetype detailAt = 0;
    qsizetype detailSize = 0;
    qsizetype bytesAt = 0;
    qsizetype bytesSize = 0;
};

// What the two threads share.
struct Journal::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable written;
    std::vector<Item> queue;
    QString queueTexts;    // the texts of the queue's items
    QByteArray queueBytes; // ... and the bytes of its reads
    QStringList boards;    // every board named so far; only ever added to
    // Calibrations set, each taking effect at its place in the queue.
    struct Calibration {
        std::size_t at = 0;
        QString board;
        BoardCalibration calibration;
    };
    std::vector<Calibration> calibrations;
    bool running = false;
    bool stopWanted = false;
    bool urgent = false;       // a command was sent: write now
    quint64 flushesWanted = 0; // flush() asks by raising this ...
    quint64 flushesDone = 0;   // ... and waits until the writer has caught up
};

namespace {

// A moment's line holds at most this many events (its line stays well below what a reader takes) ...
constexpr std::size_t kMomentEvents = 256;
// ... of at most this long: the reads of a poll's answers, five at the usual period, share a line and its clocks.
// A batch's last line is written with it: batches come three quarters of a second apart, a line or two each.
constexpr qint64 kMomentSpanMs = 500;
// Room for the texts of the reads gathered for a line, unless one read needs more.
constexpr qsizetype kGatheredTextRoom = 16 * 1024;

// A board's reads taken apart, gathered for one line.
struct Gathered {
    // Made once and written over: only the fields a read's events use change.
    std::array<SessionEvent, kMomentEvents> events;
    std::size_t count = 0;
    QString texts; // their texts, never moved while they are gathered
};

// One board's file of the moment.
struct BoardFile {
    RecordWriter writer{RecordFormat::Jsonl};
    QDate day;
    int index = 0;
    Gathered gathered;
};

// Formats and writes on the journal's thread; knows the files.
class Writer
{
public:
    Writer(const JournalSettings &settings, qint64 originMs)
        : m_settings(settings)
        , m_originMs(originMs)
    {}

    // Writes a batch, with the calibrations set among its events; the reason when a file could not be opened or
    // written.
    std::optional<QString> write(const std::vector<Journal::Item> &items, const QString &texts, const QByteArray &bytes,
                                 const QStringList &boards,
                                 const std::vector<Journal::Shared::Calibration> &calibrations);
    void closeAll();
    void setCalibration(const QString &board, const BoardCalibration &calibration);

private:
    std::optional<QString> open(BoardFile &file, const QString &board, QDate day);
    QDate localDay(qint64 wallMs);
    QStringList openFiles() const;
    static SessionEvent eventOf(const Journal::Item &item, const QString &texts);
    // Gathers what the session made of a read's bytes: its lines, readings and levels, taken apart again here.
    void gatherRead(const Journal::Item &item, const QString &texts, const QByteArray &bytes, BoardFile &file,
                    const QString &board);
    // Writes the events gathered and forgets them.
    static void writeGathered(BoardFile &file, const QString &board);
    // Whether a read of this stamp may go on the line of the events gathered.
    static bool joinsGathered(const Gathered &gathered, const EventStamp &stamp);
    // Now and then, the days that are over are compressed.
    void compressClosedFiles();

    const JournalSettings &m_settings;
    qint64 m_originMs;
    std::map<QString, BoardFile> m_files;
    std::map<QString, BoardCalibration> m_calibrations;
    QString m_readLine; // the line of a read being taken apart
    std::chrono::steady_clock::time_point m_nextCompression{};
    qint64 m_cachedSecond = std::numeric_limits<qint64>::min();
    QDate m_cachedDay;
};

QDate Writer::localDay(qint64 wallMs)
{
    const qint64 second = wallMs / 1000;
    if (second != m_cachedSecond) {
        m_cachedSecond = second;
        m_cachedDay = QDateTime::fromMSecsSinceEpoch(wallMs).date();
    }
    return m_cachedDay;
}

std::optional<QString> Writer::open(BoardFile &file, const QString &board, QDate day)
{
    const QString folder = journalBoardFolder(m_settings.folder, board);
    if (std::optional<QString> error = makePrivateFolder(folder))
        return error;
    // The day's last file, unless it is full (or this is a rotation past the limit).
    int index = day == file.day ? file.index + 1 : lastJournalIndex(folder, day);
    QString path = journalFileName(folder, day, index);
    if (day != file.day && QFileInfo(path).size() >= m_settings.maxFileBytes)
        path = journalFileName(folder, day, ++index);
    QString error;
    if (!file.writer.openShared(path, &error))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error);
    file.writer.setMonotonicField(true);
    file.writer.setOrigin(m_originMs);
    if (const auto calibration = m_calibrations.find(board); calibration != m_calibrations.end())
        file.writer.setCalibration(calibration->second);
    file.day = day;
    file.index = index;
    pruneJournal(m_settings, day, openFiles());
    return std::nullopt;
}

QStringList Writer::openFiles() const
{
    QStringList open;
    for (const auto &[name, other] : m_files) {
        if (other.writer.isOpen())
            open.append(journalFileName(journalBoardFolder(m_settings.folder, name), other.day, other.index));
    }
    return open;
}

void Writer::compressClosedFiles()
{
    constexpr auto kEvery = std::chrono::minutes(10);
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextCompression)
        return;
    m_nextCompression = now + kEvery;
    const QStringList open = openFiles();
    const QDate today = QDate::currentDate();
    // A file that cannot be compressed stays as it is, read as it is, and is tried again.
    for (const auto &[name, file] : m_files)
        compressClosedJournalFiles(journalBoardFolder(m_settings.folder, name), today, open);
}

SessionEvent Writer::eventOf(const Journal::Item &item, const QString &texts)
{
    SessionEvent event;
    event.kind = item.kind;
    event.stamp = item.stamp;
    event.index = item.index;
    event.value = item.value;
    event.flag = item.flag;
    event.text = QStringView(texts).sliced(item.textAt, item.textSize);
    event.detail = QStringView(texts).sliced(item.detailAt, item.detailSize);
    return event;
}

std::optional<QString> Writer::write(const std::vector<Journal::Item> &items, const QString &texts,
                                     const QByteArray &bytes, const QStringList &boards,
                                     const std::vector<Journal::Shared::Calibration> &calibrations)
{
    BoardFile *last = nullptr;
    int lastBoard = -1;
    auto calibration = calibrations.begin();
    for (std::size_t at = 0; at < items.size(); ++at) {
        for (; calibration != calibrations.end() && calibration->at <= at; ++calibration)
            setCalibration(calibration->board, calibration->calibration);
        const Journal::Item &item = items[at];
        // Events of one board come in runs: its file is looked up once a run.
        const QString &board = boards[item.board];
        if (item.board != lastBoard) {
            last = &m_files[board];
            lastBoard = item.board;
        }
        BoardFile &file = *last;
        const QDate day = localDay(item.stamp.wallMs);
        const bool full = file.writer.fileSize() + file.writer.pendingBytes() >= m_settings.maxFileBytes;
        const bool reopen = !file.writer.isOpen() || day != file.day || full;
        // The reads gathered end their line before anything else of the board is written.
        if (file.gathered.count > 0 &&
            (reopen || item.kind != SessionEvent::Kind::BytesReceived || !joinsGathered(file.gathered, item.stamp)))
            writeGathered(file, board);
        if (reopen) {
            if (file.writer.isOpen() && !file.writer.flush())
                return file.writer.error();
            if (std::optional<QString> error = open(file, board, day))
                return error;
        }
        if (item.kind == SessionEvent::Kind::BytesReceived) {
            gatherRead(item, texts, bytes, file, board);
        } else if (item.pollSummary) {
            file.writer.poll(eventOf(item, texts), board);
        } else {
            file.writer.record(eventOf(item, texts), board);
        }
    }
    for (; calibration != calibrations.end(); ++calibration)
        setCalibration(calibration->board, calibration->calibration);
    for (auto &[board, file] : m_files) {
        writeGathered(file, board);
        if (file.writer.isOpen() && !file.writer.flush())
            return file.writer.error();
    }
    compressClosedFiles();
    return std::nullopt;
}

void Writer::gatherRead(const Journal::Item &item, const QString &texts, const QByteArray &bytes, BoardFile &file,
                        const QString &board)
{
    // As the session took them: the same assembly, the same reading of each line by the same setup.
    const BoardSetup setup = BoardSetup::fromMasks(std::uint32_t(item.value), std::uint32_t(item.index));
    Gathered &gathered = file.gathered;
    // Room for every text the read holds: the gathered events' views into it stay valid.
    const qsizetype room = item.textSize + item.bytesSize;
    if (gathered.texts.size() + room > gathered.texts.capacity()) {
        writeGathered(file, board);
        gathered.texts.reserve(std::max(room, kGatheredTextRoom));
    }
    m_readLine.resize(0);
    m_readLine.append(QStringView(texts).sliced(item.textAt, item.textSize));
    const auto gather = [&](SessionEvent::Kind kind, int index, std::int32_t value, QStringView text) {
        SessionEvent &event = gathered.events[gathered.count++];
        event.kind = kind;
        event.stamp = item.stamp;
        event.index = index;
        event.value = value;
        event.text = text;
        if (gathered.count == kMomentEvents)
            writeGathered(file, board);
    };
    // What a line means, gathered; `size` characters of text that `appendText` adds to the gathered texts.
    const auto gatherLine = [&](const Report &report, qsizetype size, const auto &appendText) {
        const LineMeaning meaning = meaningOf(report, setup);
        if (meaning.level)
            gather(SessionEvent::Kind::PinLevel, report.pin, report.state != 0 ? 1 : 0, {});
        if (meaning.reading)
            gather(SessionEvent::Kind::Reading, report.channel, report.value, {});
        // A consumed line is kept as its reading.
        if (!meaning.consumed) {
            // Never more characters than bytes; were it ever so, what is gathered goes before the texts move.
            if (gathered.texts.size() + size > gathered.texts.capacity())
                writeGathered(file, board);
            const qsizetype at = gathered.texts.size();
            appendText();
            gather(SessionEvent::Kind::LineReceived, 0, 0, QStringView(gathered.texts).sliced(at));
        }
    };
    const auto lineEnd = [&] {
        if (m_readLine.isEmpty())
            return;
        gatherLine(parseReport(m_readLine), m_readLine.size(), [&] { gathered.texts += m_readLine; });
        m_readLine.resize(0);
    };
    // Line by line: a whole line whose report can be told from its bytes (most of a busy board's lines) is read where
    // it stands, any other the session's way. Line ends are not paired: an end with nothing before it says nothing.
    const char *const read = bytes.constData() + item.bytesAt;
    const char *const readEnd = read + item.bytesSize;
    for (const char *at = read; at < readEnd;) {
        const char *end = at;
        while (end < readEnd && *end != '\r' && *end != '\n')
            ++end;
        if (m_readLine.isEmpty() && end < readEnd) {
            if (end == at) {
                ++at;
                continue;
            }
            const std::optional<Report> report =
                end - at <= kMaxPendingLine ? parseReportBytes(QByteArrayView(at, end - at)) : std::nullopt;
            if (report) {
                gatherLine(*report, end - at, [&] {
                    if (!report->applicable) {
                        appendFromCodePage(gathered.texts, at, end - at);
                        return;
                    }
                    // Report words are ASCII in every code page: widened where they stand, in the room made above.
                    const qsizetype from = gathered.texts.size();
                    gathered.texts.resize(from + (end - at));
                    std::copy(reinterpret_cast<const uchar *>(at), reinterpret_cast<const uchar *>(end),
                              reinterpret_cast<char16_t *>(gathered.texts.data()) + from);
                });
                at = end + 1;
                continue;
            }
        }
        const char *const next = end < readEnd ? end + 1 : readEnd;
        assembleLines(m_readLine, at, next - at, lineEnd);
        at = next;
    }
}

bool Writer::joinsGathered(const Gathered &gathered, const EventStamp &stamp)
{
    // One line has one time: the others are told as ms after it, on the clock that never jumps and, where it
    // differs, on the wall clock; a wall clock set on or back by more than a second starts a line of its own.
    const EventStamp &first = gathered.events[0].stamp;
    const EventStamp &last = gathered.events[gathered.count - 1].stamp;
    const qint64 wallDrift = (stamp.wallMs - last.wallMs) - (stamp.monoMs - last.monoMs);
    return stamp.monoMs >= last.monoMs && wallDrift >= -1000 && wallDrift <= 1000 &&
           stamp.monoMs - first.monoMs < kMomentSpanMs;
}

void Writer::writeGathered(BoardFile &file, const QString &board)
{
    Gathered &gathered = file.gathered;
    // The readings, levels and lines of reads close together share a line, a long line apart.
    const std::span<const SessionEvent> events(gathered.events.data(), gathered.count);
    for (std::size_t at = 0; at < events.size();) {
        std::size_t end = at;
        while (end < events.size() && RecordWriter::momentable(events[end]))
            ++end;
        if (end - at < 2) {
            file.writer.record(events[at], board);
            ++at;
            continue;
        }
        file.writer.moment(events.subspan(at, end - at), board);
        at = end;
    }
    gathered.count = 0;
    gathered.texts.resize(0); // keeps its room
}

void Writer::setCalibration(const QString &board, const BoardCalibration &calibration)
{
    m_calibrations[board] = calibration;
    if (const auto file = m_files.find(board); file != m_files.end()) {
        writeGathered(file->second, board); // in the calibration they were read with
        file->second.writer.setCalibration(calibration);
    }
}

void Writer::closeAll()
{
    // Reads held for a line are written first, even when another board's file has failed.
    for (auto &[board, file] : m_files) {
        if (file.writer.isOpen())
            writeGathered(file, board);
        file.writer.close();
    }
}

} // namespace

namespace {

// Events are handed to the writer in batches of this many, after a command, and at least this often: a lock per
// event would cost more than the event. While events come, the hand-over rides on them (no wake-up of its own);
// when they stop, a timer hands over the last ones. An event is on disk within a second, what a killed process may
// lose: each wake-up of the writer costs the program about what writing a quarter second of a busy board costs.
constexpr std::size_t kBatch = 1024;
constexpr qsizetype kBatchBytes = 64 * 1024;
constexpr int kHandOverMs = 750;
// How much nicer than the program the writer is: at the program's full rate it needs a tenth of a core and gets a
// quarter or more.
constexpr int kWriterNice = 5;

} // namespace

Journal::Journal(JournalSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_shared(std::make_shared<Shared>())
{
    m_handOver.setInterval(kHandOverMs);
    connect(&m_handOver, &QTimer::timeout, this, [this] { handOver(true); });
    // Room for a stream's worth up front: the vectors then never grow (nor fault in fresh pages) while it flows.
    m_taken.reserve(kBatch);
    m_takenTexts.reserve(64 * kBatch);
    m_takenBytes.reserve(2 * kBatchBytes);
    m_shared->queue.reserve(16 * kBatch);
    m_shared->queueTexts.reserve(16 * 64 * kBatch);
    m_shared->queueBytes.reserve(16 * kBatchBytes);
}

Journal::~Journal()
{
    stop();
}

bool Journal::keeps(SessionEvent::Kind kind)
{
    switch (kind) {
    case SessionEvent::Kind::Selected:
    case SessionEvent::Kind::OpenFailed:
    case SessionEvent::Kind::Lost:
    case SessionEvent::Kind::Back:
    case SessionEvent::Kind::Closed:
    case SessionEvent::Kind::CommandSent:
    case SessionEvent::Kind::BytesReceived:
    case SessionEvent::Kind::StatusText:
    case SessionEvent::Kind::Gap:
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmAcknowledged:
    case SessionEvent::Kind::AlarmCleared:
        return true;
    // Kept as the bytes they were made of.
    case SessionEvent::Kind::LineReceived:
    case SessionEvent::Kind::Reading:
    case SessionEvent::Kind::PinLevel:
    case SessionEvent::Kind::LogLine:
    case SessionEvent::Kind::AnalogPoll:
    case SessionEvent::Kind::SetupChanged:
        break;
    }
    return false;
}

void Journal::attach(BoardSession &session)
{
    EventKinds kinds = 0;
    for (int kind = 0; kind < 32; ++kind) {
        if (keeps(SessionEvent::Kind(kind)))
            kinds |= EventKinds(1) << kind;
    }
    // Sessions come and go (boards kept open in the background): their ended subscriptions go too.
    std::erase_if(m_subscriptions,
                  [](const EventStream::Subscription &subscription) { return !subscription.isActive(); });
    m_subscriptions.push_back(session.events().subscribe([this](const SessionEvent &event) { take(event); }, kinds));
}

bool Journal::isRunning() const
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->running;
}

bool Journal::start(QString *error)
{
    if (isRunning())
        return true;
    if (m_thread)
        m_thread->wait(); // stopped by a failure: its thread has ended
    if (std::optional<QString> failure = makePrivateFolder(m_settings.folder)) {
        if (error)
            *error = *failure;
        return false;
    }
    m_originMs = monotonicClockMs();
    std::fill(m_lastPoll.begin(), m_lastPoll.end(), PollSeen{});
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->running = true;
        m_shared->stopWanted = false;
        m_shared->queue.clear();
        m_shared->queueTexts.resize(0);
        m_shared->queueBytes.resize(0);
        // A new writer starts with every calibration set so far.
        m_shared->calibrations.clear();
        for (const auto &[serial, calibration] : m_calibrations)
            m_shared->calibrations.push_back({0, serial, calibration});
    }
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("journal")); // its name in the system's list of threads
    m_thread->start(QThread::LowPriority);
    m_handOver.start();
    m_sinceWake.start();
    m_keeping = true;
    return true;
}

void Journal::stop()
{
    handOver(false);
    m_handOver.stop();
    m_keeping = false;
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->stopWanted = true;
    }
    m_shared->wake.notify_all();
    if (m_thread)
        m_thread->wait();
}

void Journal::flush()
{
    handOver(false);
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    if (!m_shared->running)
        return;
    const quint64 wanted = ++m_shared->flushesWanted;
    m_shared->wake.notify_all();
    m_shared->written.wait(lock, [&] { return m_shared->flushesDone >= wanted || !m_shared->running; });
}

bool Journal::keepsCommand(const SessionEvent &event, int board, bool *pollSummary)
{
    // What reached no board was not sent.
    if (!event.flag)
        return false;
    const bool poll = event.index > 0;
    *pollSummary = poll && !m_settings.everyPoll;
    if (!*pollSummary)
        return true;
    PollSeen &last = m_lastPoll[std::size_t(board)];
    if (last.channels == event.value && last.periodMs == event.index)
        return false;
    last = {event.value, event.index};
    return true;
}

namespace {

// The text as the board received it: a character with no byte in the code page went as '?'.
bool sentAsTyped(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }) ||
           countOutsideCodePage(text) == 0;
}

} // namespace

void Journal::take(const SessionEvent &event)
{
    // Nothing is kept while the journal is off.
    if (!m_keeping)
        return;
    // No board, no journal: nothing happened on a wire.
    const QString noBoard;
    const QString &serial = event.source ? event.source->serial() : noBoard;
    if (serial.isEmpty())
        return;
    const int board = boardIndex(serial);
    bool pollSummary = false;
    if (event.kind == SessionEvent::Kind::CommandSent) {
        if (!keepsCommand(event, board, &pollSummary))
            return;
    } else if (event.kind != SessionEvent::Kind::BytesReceived && event.kind != SessionEvent::Kind::StatusText) {
        // A selection, a loss, a gap: the next poll is said again.
        m_lastPoll[std::size_t(board)] = {};
    }
    Item &item = m_taken.emplace_back();
    item.kind = event.kind;
    item.stamp = event.stamp;
    item.board = board;
    item.index = event.index;
    item.value = event.value;
    item.flag = event.flag;
    item.pollSummary = pollSummary;
    item.textAt = m_takenTexts.size();
    if (event.kind == SessionEvent::Kind::BytesReceived) {
        // The line the bytes continue, and the bytes.
        item.textSize = event.text.size();
        m_takenTexts += event.text;
        item.detailAt = m_takenTexts.size();
        item.bytesAt = m_takenBytes.size();
        item.bytesSize = event.bytes.size();
        m_takenBytes += event.bytes;
    } else if (event.kind == SessionEvent::Kind::CommandSent && !sentAsTyped(event.text)) {
        // The text the board received, and beside it what was typed.
        m_takenTexts += fromCodePage(toCodePage(event.text));
        item.textSize = m_takenTexts.size() - item.textAt;
        item.detailAt = m_takenTexts.size();
        item.detailSize = event.text.size();
        m_takenTexts += event.text;
    } else {
        // Most events (readings, levels) have no text at all.
        item.textSize = event.text.size();
        if (!event.text.isEmpty())
            m_takenTexts += event.text;
        item.detailAt = m_takenTexts.size();
        item.detailSize = event.detail.size();
        if (!event.detail.isEmpty())
            m_takenTexts += event.detail;
    }
    // A command is handed on at once: what was sent is on disk before the next poll.
    const bool now = event.kind == SessionEvent::Kind::CommandSent || m_sinceWake.hasExpired(kHandOverMs);
    if (now || m_taken.size() >= kBatch || m_takenBytes.size() >= kBatchBytes)
        handOver(now);
}

int Journal::boardIndex(const QString &board)
{
    if (m_lastBoard >= 0 && board == m_boards[m_lastBoard])
        return m_lastBoard;
    m_lastBoard = int(m_boards.indexOf(board));
    if (m_lastBoard < 0) {
        m_boards.append(board);
        m_lastPoll.emplace_back();
        m_lastBoard = int(m_boards.size() - 1);
    }
    return m_lastBoard;
}

void Journal::handOver(bool now)
{
    bool wake = now;
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (m_shared->running && !m_taken.empty()) {
            // Moved, never swapped: each vector keeps the room it grew to, and nothing is allocated once warm.
            std::vector<Item> &queue = m_shared->queue;
            const qsizetype base = m_shared->queueTexts.size();
            const qsizetype bytesBase = m_shared->queueBytes.size();
            for (Item &item : m_taken) {
                item.textAt += base;
                item.detailAt += base;
                item.bytesAt += bytesBase;
            }
            // Appended, not assigned: an empty queue would share the buffer and the next event copy it away.
            m_shared->queueTexts.append(m_takenTexts.constData(), m_takenTexts.size());
            m_shared->queueBytes.append(m_takenBytes.constData(), m_takenBytes.size());
            if (m_shared->boards.size() != m_boards.size())
                m_shared->boards = m_boards;
            std::move(m_taken.begin(), m_taken.end(), std::back_inserter(queue));
            // A stream of events is written as it comes, in batches that stay in the caches.
            wake = wake || queue.size() >= 4 * kBatch || m_shared->queueBytes.size() >= 4 * kBatchBytes;
        }
        // The quiet timer also wakes the writer for what a hand-over by size left waiting.
        wake = wake && !m_shared->queue.empty();
        m_shared->urgent = m_shared->urgent || wake;
    }
    m_taken.clear();
    m_takenTexts.resize(0); // keeps its room
    m_takenBytes.resize(0);
    if (!wake)
        return;
    m_shared->wake.notify_all();
    // Both clocks count from the writer's last wake-up, not from a hand-over by size (which does not wake it): an
    // event waits for the writer at most the hand-over time, and while events come the timer never wakes it twice.
    m_sinceWake.start();
    if (m_handOver.isActive())
        m_handOver.start();
}

void Journal::setCalibration(const QString &serial, const BoardCalibration &calibration)
{
    m_calibrations[serial] = calibration;
    // What was read before is written as it was read.
    handOver(false);
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    const std::size_t at = m_shared->queue.size();
    std::erase_if(m_shared->calibrations, [&](const Shared::Calibration &set) {
        return set.board == serial && set.at == at; // never took effect
    });
    m_shared->calibrations.push_back({at, serial, calibration});
}

void Journal::reportFailure(const QString &reason)
{
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            m_keeping = false;
            m_handOver.stop();
            Q_EMIT stopped(reason);
        },
        Qt::QueuedConnection);
}

void Journal::run()
{
#ifdef Q_OS_LINUX
    // Below the program's own threads: the writer works in the gaps they leave, never in their way when they wake
    // (Linux takes a thread's priority from its nice value alone; elsewhere the thread was started low).
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0); // the program's, which a new thread inherits
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, 0, std::min(nice + kWriterNice, 19));
#endif
    Writer writer(m_settings, m_originMs);
    Shared &shared = *m_shared;
    std::vector<Item> batch;
    batch.reserve(16 * kBatch);
    QString batchTexts;
    batchTexts.reserve(16 * 64 * kBatch);
    QByteArray batchBytes;
    batchBytes.reserve(16 * kBatchBytes);
    QStringList boards;
    std::vector<Shared::Calibration> calibrations;
    for (;;) {
        quint64 flushes = 0;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            const auto asked = [&] {
                return shared.stopWanted || shared.urgent || shared.flushesWanted > shared.flushesDone;
            };
            shared.wake.wait(lock, asked);
            batch.swap(shared.queue);
            batchTexts.swap(shared.queueTexts);
            batchBytes.swap(shared.queueBytes);
            calibrations.swap(shared.calibrations);
            if (boards.size() != shared.boards.size())
                boards = shared.boards;
            shared.urgent = false;
            flushes = shared.flushesWanted;
            stopping = shared.stopWanted;
        }
        const std::optional<QString> failure = writer.write(batch, batchTexts, batchBytes, boards, calibrations);
        calibrations.clear();
        batch.clear();
        batchTexts.resize(0);
        batchBytes.resize(0);
        if (failure) {
            writer.closeAll();
            {
                const std::lock_guard<std::mutex> lock(shared.mutex);
                shared.running = false;
                shared.queue.clear();
                shared.queueTexts.resize(0);
                shared.queueBytes.resize(0);
            }
            shared.written.notify_all();
            reportFailure(*failure);
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(shared.mutex);
            shared.flushesDone = flushes;
            if (stopping)
                shared.running = false;
        }
        shared.written.notify_all();
        if (stopping)
            break;
    }
    writer.closeAll();
}
