#include "replay/replay_driver.h"

#include "device/code_page.h"
#include "device/report.h"
#include "records/journal_seek.h"
#include "session/session_event.h"
#include "session/session_texts.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

namespace {

// One recorded read's bytes are handed on together, up to this many.
constexpr qsizetype kMostGroupBytes = 1024 * 1024;

bool sameMoment(const PlayedFeed::Moment &a, const PlayedFeed::Moment &b)
{
    return a.wallMs == b.wallMs && a.monoMs == b.monoMs;
}

void appendNumber(QByteArray &out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

// A gap record's text, "board lost (detail)", as the reason and detail the session says it with.
void readGapText(const QString &text, std::int32_t *reason, QString *detail)
{
    for (int candidate = int(GapReason::NoBoard); candidate <= int(GapReason::PollStalled); ++candidate) {
        const QString words = texts::gapReason(GapReason(candidate));
        if (text == words) {
            *reason = candidate;
            detail->clear();
            return;
        }
        if (text.startsWith(words + QStringLiteral(" (")) && text.endsWith(u')')) {
            *reason = candidate;
            *detail = text.mid(words.size() + 2).chopped(1);
            return;
        }
    }
    // A reason this program does not know: said as it stands.
    *reason = int(GapReason::NoBoard);
    *detail = text;
}

} // namespace

std::optional<double> parseReplaySpeed(const QString &text)
{
    if (text == u"max")
        return ReplayDriver::kFastest;
    for (const int speed : {1, 2, 10, 100}) {
        if (text == QString::number(speed))
            return double(speed);
    }
    return std::nullopt;
}

QString replaySpeedName(double speed)
{
    return speed == ReplayDriver::kFastest ? QStringLiteral("max") : QStringLiteral("%1\u00d7").arg(speed);
}

struct ReplayDriver::Board {
    QString serial;
    QList<JournalFile> files;
    std::vector<std::unique_ptr<JournalFileReader>> readers;
    int file = -1; // the file read now
    bool exhausted = false;
    qint64 skipBefore = LLONG_MIN; // records before this are passed over (a seek, --since)
    qint64 lastWall = LLONG_MIN;   // the last record's time: one before it goes back
    // The clock the events are stamped with: the recorded mono_ms, joined up across runs.
    bool haveOffset = false;
    qint64 monoOffset = 0;
    qint64 lastMono = LLONG_MIN;
    // Records: the one read last, one put back, and a reading or level that may be carried by the next line.
    JournalLine record;
    Moment recordAt;
    JournalLine pushed;
    Moment pushedAt;
    bool hasPushed = false;
    JournalLine held;
    Moment heldAt;
    bool hasHeld = false;
    // A moment's line read last, handed out one event at a time.
    JournalLine moment;
    std::size_t momentAt = 0;
    std::optional<Moment> closedAt; // a run closed here: a gap if another follows
    // The next item, and the recorded read being handed out.
    Item next;
    bool hasNext = false;
    QByteArray group;
    qsizetype groupAt = 0;
    Moment groupMoment;
    // The device.
    std::intptr_t handle = 0;
    std::vector<std::intptr_t> deadHandles;
    bool active = false; // opened, playing (and still when lost)
    bool lost = false;   // lost as the journal says, until it is back

    JournalFileReader &reader(int index)
    {
        auto &slot = readers[std::size_t(index)];
        if (!slot)
            slot = std::make_unique<JournalFileReader>(files[index].path, files[index].compressed);
        return *slot;
    }
};

ReplayDriver::ReplayDriver(ReplayOptions options, Clock clock)
    : m_options(std::move(options))
    , m_clock(std::move(clock))
    , m_speed(m_options.speed)
{
    m_elapsed.start();
    QStringList names = m_options.boards;
    if (names.isEmpty()) {
        const QDir root(m_options.folder);
        for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (!journalFiles(root.filePath(name)).isEmpty())
                names.append(name);
        }
    }
    const auto dayOf = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).date();
    };
    qint64 first = LLONG_MAX;
    for (const QString &name : names) {
        auto board = std::make_unique<Board>();
        board->serial = name;
        for (const JournalFile &file : journalFiles(journalBoardFolder(m_options.folder, name))) {
            // Days wholly outside the span are never opened (a day in any zone lies within a day either side).
            if (m_options.sinceMs && file.day < dayOf(*m_options.sinceMs).addDays(-1))
                continue;
            if (m_options.untilMs && file.day > dayOf(*m_options.untilMs).addDays(1))
                continue;
            board->files.append(file);
        }
        if (board->files.isEmpty())
            continue;
        board->readers.resize(std::size_t(board->files.size()));
        for (int i = 0; i < board->files.size(); ++i) {
            const qint64 ms = board->reader(i).firstMs();
            if (ms >= 0) {
                first = std::min(first, ms);
                break;
            }
        }
        m_boards.push_back(std::move(board));
    }
    if (m_boards.empty())
        m_problem =
            m_options.boards.isEmpty()
                ? QStringLiteral("no journal in %1").arg(QDir::toNativeSeparators(m_options.folder))
                : QStringLiteral("no journal of %1 in %2")
                      .arg(m_options.boards.join(QStringLiteral(", ")), QDir::toNativeSeparators(m_options.folder));
    m_spanStart = m_options.sinceMs ? *m_options.sinceMs : (first == LLONG_MAX ? 0 : first);
    if (m_options.untilMs)
        m_spanEnd = std::max(m_spanStart, *m_options.untilMs);
    m_playing = !m_options.paused;
    m_anchorPosition = m_spanStart;
    m_anchorClock = clockMs();
    m_fastestPosition = m_spanStart;
    m_played = {m_spanStart, m_spanStart};
}

ReplayDriver::~ReplayDriver()
{
    m_stopMarks = true;
    if (m_marksReader.joinable())
        m_marksReader.join();
}

void ReplayDriver::prepareMarks()
{
    if (m_marksLoaded || m_marksReader.joinable())
        return;
    m_marksReader = std::thread([this] { scanMarks(); });
}

QStringList ReplayDriver::boards() const
{
    QStringList names;
    for (const auto &board : m_boards)
        names.append(board->serial);
    return names;
}

qint64 ReplayDriver::clockMs() const
{
    return m_clock ? m_clock() : m_elapsed.elapsed();
}

QString ReplayDriver::refusal() const
{
    return QStringLiteral("a replay takes no commands");
}

// The device.

ReplayDriver::Board *ReplayDriver::boardOf(std::intptr_t handle, bool *dead)
{
    *dead = false;
    if (handle <= 0)
        return nullptr;
    for (const auto &board : m_boards) {
        if (board->handle == handle)
            return board.get();
        if (std::find(board->deadHandles.begin(), board->deadHandles.end(), handle) != board->deadHandles.end()) {
            *dead = true;
            return board.get();
        }
    }
    return nullptr;
}

std::size_t ReplayDriver::indexOf(const Board &board) const
{
    for (std::size_t i = 0; i < m_boards.size(); ++i) {
        if (m_boards[i].get() == &board)
            return i;
    }
    return 0;
}

ReplayDriver::Board *ReplayDriver::boardNamed(const QString &serial)
{
    for (const auto &board : m_boards) {
        if (board->serial == serial)
            return board.get();
    }
    return nullptr;
}

std::uint32_t ReplayDriver::listDeviceCount(std::uint32_t *count)
{
    std::uint32_t listed = 0;
    for (const auto &board : m_boards) {
        pullLost(*board);
        listed += board->lost ? 0 : 1;
    }
    *count = listed;
    return FtOk;
}

std::uint32_t ReplayDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    std::int32_t at = 0;
    for (const auto &board : m_boards) {
        pullLost(*board);
        if (board->lost)
            continue;
        if (at++ == position) {
            const QByteArray serial = board->serial.toLatin1();
            std::memcpy(buffer, serial.constData(), std::min<qsizetype>(serial.size(), kSerialBufferSize - 1));
            return FtOk;
        }
    }
    return FtDeviceNotFound;
}

std::intptr_t ReplayDriver::createFile(const char *serial)
{
    m_openFailure.clear();
    Board *board = boardNamed(QString::fromLatin1(serial));
    if (board)
        pullLost(*board);
    if (!board || board->lost) {
        m_openFailure = QStringLiteral("no such board");
        return kInvalidHandle;
    }
    if (board->handle != 0) {
        m_openFailure = QStringLiteral("already open");
        return kInvalidHandle;
    }
    board->handle = m_nextHandle++;
    // The timeline runs from the first open: nothing is missed while the program starts.
    if (!m_started) {
        m_started = true;
        m_anchorClock = clockMs();
    }
    // Opened afresh, it plays from the moment played now; back after a loss, it goes on where it was.
    if (!board->active)
        seekBoard(*board, positionMs());
    board->active = true;
    return board->handle;
}

bool ReplayDriver::closeHandle(std::intptr_t handle)
{
    bool dead = false;
    Board *board = boardOf(handle, &dead);
    if (!board)
        return false;
    if (dead) {
        std::erase(board->deadHandles, handle);
        return true;
    }
    board->handle = 0;
    board->active = false;
    return true;
}

bool ReplayDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    Q_UNUSED(data);
    Q_UNUSED(size);
    *written = 0;
    bool dead = false;
    const Board *board = boardOf(handle, &dead);
    // Nothing goes anywhere: a recording takes nothing.
    return board && !dead && false;
}

void ReplayDriver::pullLost(Board &board)
{
    // A board lost as the journal says is listed again once its return is played; while a session holds it, what
    // happened meanwhile is that session's to take (takeHappening).
    while (board.lost && peek(board) && due(board, board.next.at)) {
        if (board.next.kind == Item::Kind::Back) {
            board.lost = false;
            m_played = board.next.at;
            board.hasNext = false;
            break;
        }
        if (board.next.kind == Item::Kind::Happening && !board.deadHandles.empty())
            break;
        board.hasNext = false; // what a gone board still held: not read
    }
}

std::uint32_t ReplayDriver::getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                      std::uint32_t *events)
{
    *rxQueue = 0;
    *txQueue = 0;
    *events = 0;
    bool dead = false;
    Board *board = boardOf(handle, &dead);
    if (!board)
        return FtInvalidHandle;
    if (dead)
        return FtIoError;
    if (board->groupAt < board->group.size()) {
        *rxQueue = std::uint32_t(board->group.size() - board->groupAt);
        return FtOk;
    }
    board->group.resize(0);
    board->groupAt = 0;
    while (peek(*board) && due(*board, board->next.at)) {
        Item &next = board->next;
        switch (next.kind) {
        case Item::Kind::Bytes:
            // One recorded read: every line of the same moment.
            board->groupMoment = next.at;
            do {
                board->group.append(next.bytes);
                board->hasNext = false;
            } while (board->group.size() < kMostGroupBytes && peek(*board) && next.kind == Item::Kind::Bytes &&
                     sameMoment(next.at, board->groupMoment));
            *rxQueue = std::uint32_t(board->group.size());
            return FtOk;
        case Item::Kind::Lost:
            board->hasNext = false;
            if (board->lost)
                continue;
            board->lost = true;
            m_played = next.at;
            m_fastestPosition = std::max(m_fastestPosition, next.at.wallMs);
            board->deadHandles.push_back(board->handle);
            board->handle = 0;
            return FtIoError;
        case Item::Kind::Back:
            // Back without having been lost: nothing to play.
            board->hasNext = false;
            continue;
        case Item::Kind::Happening:
            return FtOk; // the session takes it
        }
    }
    return FtOk;
}

bool ReplayDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    *read = 0;
    bool dead = false;
    Board *board = boardOf(handle, &dead);
    if (!board || dead)
        return false;
    const qsizetype n = std::min<qsizetype>(size, board->group.size() - board->groupAt);
    if (n > 0) {
        std::memcpy(buffer, board->group.constData() + board->groupAt, size_t(n));
        board->groupAt += n;
        m_played = board->groupMoment;
        m_fastestPosition = std::max(m_fastestPosition, m_played.wallMs);
    }
    *read = std::uint32_t(n);
    return true;
}

bool ReplayDriver::takeHappening(std::intptr_t handle, Happening &happening)
{
    bool dead = false;
    Board *board = boardOf(handle, &dead);
    if (!board)
        return false;
    for (;;) {
        if (!peek(*board) || !due(*board, board->next.at))
            return false;
        Item &next = board->next;
        switch (next.kind) {
        case Item::Kind::Happening:
            happening = std::move(next.happening);
            m_played = next.at;
            m_fastestPosition = std::max(m_fastestPosition, next.at.wallMs);
            board->hasNext = false;
            return true;
        case Item::Kind::Back:
            if (!dead && !board->lost) {
                board->hasNext = false;
                continue;
            }
            pullLost(*board);
            return false;
        case Item::Kind::Lost:
            if (dead || board->lost) {
                board->hasNext = false;
                continue;
            }
            return false;
        case Item::Kind::Bytes:
            if (dead || board->lost) {
                board->hasNext = false;
                continue;
            }
            return false;
        }
    }
}

// The records.

ReplayDriver::Moment ReplayDriver::momentOf(Board &board, const JournalLine &record)
{
    // mono_ms is the recorded monotonic clock: kept as it is within a run (so times between events are as they
    // were), joined to the wall clock across runs and reboots, where it starts anew.
    qint64 mono = record.wallMs;
    if (record.hasMono) {
        const qint64 offset = record.wallMs - record.monoMs;
        if (!board.haveOffset || std::abs(offset - board.monoOffset) > 1000) {
            board.monoOffset = offset;
            board.haveOffset = true;
        }
        mono = record.monoMs + board.monoOffset;
    }
    // Never back: the trend's lines go forward in time.
    mono = std::max(mono, board.lastMono);
    board.lastMono = mono;
    return {mono, record.wallMs};
}

bool ReplayDriver::readLine(Board &board, JournalLine &record)
{
    for (;;) {
        // The events of a moment, each a record of its own.
        if (board.momentAt < board.moment.events.size()) {
            std::swap(record, board.moment.events[board.momentAt++]);
            return true;
        }
        if (!readFileLine(board, record))
            return false;
        if (record.kind != JournalLine::Kind::Moment)
            return true;
        std::swap(board.moment, record);
        board.momentAt = 0;
    }
}

bool ReplayDriver::readFileLine(Board &board, JournalLine &record)
{
    while (board.file >= 0 && board.file < board.files.size()) {
        JournalFileReader &reader = board.reader(board.file);
        QByteArrayView line;
        bool cut = false;
        if (reader.next(line, &cut)) {
            if (decodeJournalLine(line, record))
                return true;
            ++m_skipped;
            continue;
        }
        if (cut)
            ++m_skipped;
        reader.close();
        // The next file, from its start.
        while (++board.file < board.files.size() && !board.reader(board.file).rewind()) {
        }
    }
    return false;
}

bool ReplayDriver::nextRecord(Board &board, JournalLine &record)
{
    for (;;) {
        if (!readLine(board, record))
            return false;
        if (record.wallMs < board.lastWall) {
            ++m_skipped; // a time that goes back
            continue;
        }
        board.lastWall = record.wallMs;
        if (record.wallMs < board.skipBefore)
            continue;
        if (m_options.untilMs && record.wallMs > *m_options.untilMs) {
            if (board.file >= 0 && board.file < board.files.size())
                board.reader(board.file).close();
            board.file = int(board.files.size());
            return false;
        }
        return true;
    }
}

namespace {

// Whether a received line says exactly what a reading or level record says (so it carries it).
bool carries(const JournalLine &held, const QString &line)
{
    const Report report = parseReport(line);
    if (!report.applicable)
        return false;
    if (held.kind == JournalLine::Kind::Adc)
        return report.kind == Report::Kind::Analog && report.channel == held.channel && report.value == held.value;
    return report.kind == Report::Kind::Pin && report.pin == held.pin && (report.state != 0 ? 1 : 0) == held.level;
}

} // namespace

bool ReplayDriver::peek(Board &board)
{
    if (board.hasNext)
        return true;
    if (board.exhausted || board.file < 0)
        return false;
    Item &next = board.next;
    const auto bytesOf = [&next](const Moment &at) {
        next.kind = Item::Kind::Bytes;
        next.at = at;
        next.bytes.resize(0);
    };
    const auto heldBytes = [&] {
        const JournalLine &held = board.held;
        bytesOf(board.heldAt);
        if (held.kind == JournalLine::Kind::Adc) {
            next.bytes.append("adc ");
            appendNumber(next.bytes, held.channel);
            next.bytes.append(' ');
            appendNumber(next.bytes, held.value);
        } else {
            next.bytes.append("pin ");
            appendNumber(next.bytes, held.pin);
            next.bytes.append(' ');
            appendNumber(next.bytes, held.level);
        }
        next.bytes.append('\n');
        board.hasHeld = false;
        board.hasNext = true;
    };
    const auto happening = [&](const Moment &at, PlayedFeed::Happening::Kind kind) -> PlayedFeed::Happening & {
        next.kind = Item::Kind::Happening;
        next.at = at;
        next.happening = PlayedFeed::Happening();
        next.happening.kind = kind;
        board.hasNext = true;
        return next.happening;
    };
    for (;;) {
        JournalLine &record = board.record;
        bool have = true;
        if (board.hasPushed) {
            std::swap(record, board.pushed);
            board.recordAt = board.pushedAt;
            board.hasPushed = false;
        } else {
            have = nextRecord(board, record);
            if (have)
                board.recordAt = momentOf(board, record);
        }
        if (!have) {
            if (board.hasHeld) {
                heldBytes();
                return true;
            }
            board.exhausted = true;
            return false;
        }
        const Moment at = board.recordAt;
        if (board.hasHeld) {
            // The line the reading was read from, kept beside it: the line says it.
            if (record.kind == JournalLine::Kind::Line && sameMoment(at, board.heldAt) &&
                carries(board.held, record.text)) {
                board.hasHeld = false;
            } else {
                std::swap(record, board.pushed);
                board.pushedAt = at;
                board.hasPushed = true;
                heldBytes();
                return true;
            }
        }
        if (board.closedAt && record.kind != JournalLine::Kind::Closed) {
            // Another run follows the one that closed: readings stopped in between.
            std::swap(record, board.pushed);
            board.pushedAt = at;
            board.hasPushed = true;
            PlayedFeed::Happening &gap = happening(*board.closedAt, PlayedFeed::Happening::Kind::Gap);
            gap.reason = std::int32_t(GapReason::NoBoard);
            gap.detail = QStringLiteral("board closed");
            board.closedAt.reset();
            return true;
        }
        switch (record.kind) {
        case JournalLine::Kind::Adc:
            if (record.channel == 0 || !record.hasValue)
                continue;
            std::swap(board.held, record);
            board.heldAt = at;
            board.hasHeld = true;
            continue;
        case JournalLine::Kind::Pin:
            if (record.pin == 0 || record.level < 0)
                continue;
            std::swap(board.held, record);
            board.heldAt = at;
            board.hasHeld = true;
            continue;
        case JournalLine::Kind::Line:
            bytesOf(at);
            next.bytes.append(toCodePage(record.text));
            next.bytes.append('\n');
            board.hasNext = true;
            return true;
        case JournalLine::Kind::Lost:
            next.kind = Item::Kind::Lost;
            next.at = at;
            board.hasNext = true;
            return true;
        case JournalLine::Kind::Back:
        case JournalLine::Kind::Selected:
            // A board selected again after a loss is back too; otherwise a selection plays as nothing.
            next.kind = Item::Kind::Back;
            next.at = at;
            board.hasNext = true;
            return true;
        case JournalLine::Kind::Closed:
            board.closedAt = at;
            continue;
        case JournalLine::Kind::Gap: {
            PlayedFeed::Happening &gap = happening(at, PlayedFeed::Happening::Kind::Gap);
            gap.channel = record.channel;
            readGapText(record.text, &gap.reason, &gap.detail);
            return true;
        }
        case JournalLine::Kind::Poll: {
            PlayedFeed::Happening &poll = happening(at, PlayedFeed::Happening::Kind::Poll);
            poll.channels = record.channels;
            poll.periodMs = record.periodMs;
            return true;
        }
        case JournalLine::Kind::Command:
            happening(at, PlayedFeed::Happening::Kind::Command).text = record.text;
            return true;
        case JournalLine::Kind::Match:
        case JournalLine::Kind::OpenFailed:
        case JournalLine::Kind::Status:
        case JournalLine::Kind::Moment: // taken apart as it is read
        case JournalLine::Kind::Other:
            continue;
        }
    }
}

void ReplayDriver::seekBoard(Board &board, qint64 wallMs)
{
    if (board.file >= 0 && board.file < board.files.size())
        board.reader(board.file).close();
    board.hasNext = false;
    board.hasPushed = false;
    board.hasHeld = false;
    board.moment.events.clear();
    board.momentAt = 0;
    board.closedAt.reset();
    board.group.resize(0);
    board.groupAt = 0;
    board.lastWall = LLONG_MIN;
    board.haveOffset = false;
    board.lastMono = LLONG_MIN;
    board.exhausted = false;
    board.lost = false;
    const qint64 from = std::max(wallMs, m_options.sinceMs.value_or(LLONG_MIN));
    board.skipBefore = from;
    // The last file that starts at or before the moment (or the first).
    int chosen = 0;
    for (int i = 0; i < board.files.size(); ++i) {
        const qint64 first = board.reader(i).firstMs();
        if (first >= 0 && first <= from)
            chosen = i;
    }
    board.file = chosen;
    JournalFileReader &reader = board.reader(chosen);
    const qint64 first = reader.firstMs();
    // From its start when the moment is before its first record: no index is needed for that.
    const bool fromStart = first < 0 || from <= first;
    const bool opened = fromStart ? reader.rewind() : reader.seek(from);
    if (!opened) {
        while (++board.file < board.files.size() && !board.reader(board.file).rewind()) {
        }
    }
    if (chosen == 0 && fromStart)
        return;
    // Within the span: the channels the last poll before the moment asked for are ticked, as they were.
    loadMarks();
    const std::vector<PollMark> &polls = m_polls[indexOf(board)];
    const auto after = std::upper_bound(polls.begin(), polls.end(), from,
                                        [](qint64 ms, const PollMark &poll) { return ms < poll.wallMs; });
    if (after == polls.begin())
        return;
    const PollMark &last = *std::prev(after);
    board.next.kind = Item::Kind::Happening;
    board.next.at = {from, from};
    board.next.happening = PlayedFeed::Happening();
    board.next.happening.kind = PlayedFeed::Happening::Kind::Poll;
    board.next.happening.channels = last.channels;
    board.next.happening.periodMs = last.periodMs;
    board.hasNext = true;
}

// The timeline.

qint64 ReplayDriver::frontier()
{
    qint64 least = LLONG_MAX;
    for (const auto &board : m_boards) {
        if (board->active && !board->lost && peek(*board))
            least = std::min(least, board->next.at.wallMs);
    }
    return least;
}

bool ReplayDriver::due(Board &board, const Moment &at)
{
    Q_UNUSED(board);
    if (m_speed == kFastest && m_playing) {
        const qint64 ahead = frontier();
        return ahead == LLONG_MAX || at.wallMs <= ahead + kFastestLeadMs;
    }
    return at.wallMs <= positionMs();
}

qint64 ReplayDriver::spanEndMs()
{
    if (!m_spanEnd) {
        qint64 last = m_spanStart;
        for (const auto &board : m_boards) {
            for (int i = int(board->files.size()) - 1; i >= 0; --i) {
                const qint64 ms = board->reader(i).lastMs();
                if (ms >= 0) {
                    last = std::max(last, ms);
                    break;
                }
            }
        }
        m_spanEnd = last;
    }
    return *m_spanEnd;
}

qint64 ReplayDriver::positionMs()
{
    qint64 position = m_anchorPosition;
    if (m_playing && m_speed == kFastest)
        position = std::max(m_anchorPosition, m_fastestPosition);
    else if (m_playing)
        position = m_anchorPosition + qint64(double(clockMs() - m_anchorClock) * m_speed);
    if (m_spanEnd)
        position = std::min(position, *m_spanEnd);
    return position;
}

qint64 ReplayDriver::positionMonoMs()
{
    // The stamps' clock follows the wall clock (see momentOf), so the moment is the same number on both.
    return positionMs();
}

void ReplayDriver::reanchor()
{
    m_anchorPosition = positionMs();
    m_anchorClock = clockMs();
    m_fastestPosition = m_anchorPosition;
}

void ReplayDriver::play()
{
    reanchor();
    m_playing = true;
}

void ReplayDriver::pause()
{
    reanchor();
    m_playing = false;
}

void ReplayDriver::setSpeed(double speed)
{
    reanchor();
    m_speed = speed;
}

void ReplayDriver::seek(qint64 wallMs)
{
    wallMs = std::max(wallMs, m_spanStart);
    if (m_spanEnd)
        wallMs = std::min(wallMs, *m_spanEnd);
    m_anchorPosition = wallMs;
    m_anchorClock = clockMs();
    m_fastestPosition = wallMs;
    m_played = {wallMs, wallMs};
    for (const auto &board : m_boards) {
        if (board->active)
            seekBoard(*board, wallMs);
    }
}

bool ReplayDriver::isFinished()
{
    bool anyActive = false;
    for (const auto &board : m_boards) {
        if (!board->active)
            continue;
        anyActive = true;
        if (board->groupAt < board->group.size() || peek(*board))
            return false;
    }
    if (anyActive)
        return true;
    return m_spanEnd && positionMs() >= *m_spanEnd;
}

// The marks.

void ReplayDriver::loadMarks()
{
    if (m_marksLoaded)
        return;
    if (m_marksReader.joinable())
        m_marksReader.join();
    else
        scanMarks();
    m_marksLoaded = true;
}

void ReplayDriver::scanMarks()
{
    // Only this thread touches the marks until loadMarks() has joined it; the files' list never changes.
    JournalLine record;
    m_polls.assign(m_boards.size(), {});
    for (const auto &board : m_boards) {
        std::vector<PollMark> &polls = m_polls[indexOf(*board)];
        for (const JournalFile &file : board->files) {
            JournalFileReader reader(file.path, file.compressed);
            if (!reader.rewind())
                continue;
            QByteArrayView line;
            bool cut = false;
            while (reader.next(line, &cut) && !m_stopMarks) {
                // Only the lines that may be one are decoded (the journal writes the kind as "kind":"...").
                const qsizetype kind = line.indexOf("\"kind\":\"");
                if (kind >= 0) {
                    const QByteArrayView name = line.sliced(kind + 8);
                    if (!name.startsWith("command") && !name.startsWith("gap") && !name.startsWith("lost") &&
                        !name.startsWith("poll"))
                        continue;
                }
                if (!decodeJournalLine(line, record))
                    continue;
                // A poll before the span still says what was ticked in it.
                if (record.kind == JournalLine::Kind::Poll && (polls.empty() || record.wallMs >= polls.back().wallMs))
                    polls.push_back({record.wallMs, record.channels, record.periodMs});
                if ((m_options.sinceMs && record.wallMs < *m_options.sinceMs) ||
                    (m_options.untilMs && record.wallMs > *m_options.untilMs))
                    continue;
                if (record.kind == JournalLine::Kind::Command)
                    m_marks.emplace_back(record.wallMs, Mark::Command);
                else if (record.kind == JournalLine::Kind::Gap)
                    m_marks.emplace_back(record.wallMs, Mark::Gap);
                else if (record.kind == JournalLine::Kind::Lost)
                    m_marks.emplace_back(record.wallMs, Mark::Lost);
            }
        }
    }
    std::stable_sort(m_marks.begin(), m_marks.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
}

std::optional<qint64> ReplayDriver::neighbourMark(qint64 wallMs, bool forward)
{
    loadMarks();
    if (forward) {
        const auto after = std::upper_bound(m_marks.begin(), m_marks.end(), wallMs,
                                            [](qint64 ms, const auto &mark) { return ms < mark.first; });
        if (after == m_marks.end())
            return std::nullopt;
        return after->first;
    }
    const auto atOrAfter = std::lower_bound(m_marks.begin(), m_marks.end(), wallMs,
                                            [](const auto &mark, qint64 ms) { return mark.first < ms; });
    if (atOrAfter == m_marks.begin())
        return std::nullopt;
    return std::prev(atOrAfter)->first;
}
