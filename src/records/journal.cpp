#include "records/journal.h"

#include "records/journal_files.h"
#include "records/record_writer.h"
#include "session/board_session.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <chrono>
#include <map>

QString defaultJournalFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vantrel-control/journal");
}

// One event as the journal keeps it: copied on the session's thread, written on the journal's.
struct Journal::Item {
    SessionEvent::Kind kind = SessionEvent::Kind::LogLine;
    EventStamp stamp;
    QString board;
    int index = 0;
    std::int32_t value = 0;
    bool flag = false;
    QString text;
    QString detail;
};

// What the two threads share.
struct Journal::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable written;
    std::vector<Item> queue;
    bool running = false;
    bool stopWanted = false;
    bool urgent = false;       // a command was sent: write now
    quint64 flushesWanted = 0; // flush() asks by raising this ...
    quint64 flushesDone = 0;   // ... and waits until the writer has caught up
};

namespace {

// Well within the second a killed process may lose, the poll and the write included.
constexpr auto kLongestWait = std::chrono::milliseconds(250);

// One board's file of the moment.
struct BoardFile {
    RecordWriter writer{RecordFormat::Jsonl};
    QDate day;
    int index = 0;
};

// Formats and writes on the journal's thread; knows the files.
class Writer
{
public:
    Writer(const JournalSettings &settings, qint64 originMs)
        : m_settings(settings)
        , m_originMs(originMs)
    {}

    // Writes a batch; the reason when a file could not be opened or written.
    std::optional<QString> write(const std::vector<Journal::Item> &items);
    void closeAll();

private:
    std::optional<QString> open(BoardFile &file, const QString &board, QDate day);
    QDate localDay(qint64 wallMs);

    const JournalSettings &m_settings;
    qint64 m_originMs;
    std::map<QString, BoardFile> m_files;
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
    if (!file.writer.open(path, &error, true))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error);
    file.writer.setMonotonicField(true);
    file.writer.setOrigin(m_originMs);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.day = day;
    file.index = index;
    QStringList open;
    for (const auto &[name, other] : m_files) {
        if (other.writer.isOpen())
            open.append(journalFileName(journalBoardFolder(m_settings.folder, name), other.day, other.index));
    }
    pruneJournal(m_settings, day, open);
    return std::nullopt;
}

std::optional<QString> Writer::write(const std::vector<Journal::Item> &items)
{
    for (const Journal::Item &item : items) {
        BoardFile &file = m_files[item.board];
        const QDate day = localDay(item.stamp.wallMs);
        const bool full = file.writer.fileSize() + file.writer.pendingBytes() >= m_settings.maxFileBytes;
        if (!file.writer.isOpen() || day != file.day || full) {
            if (file.writer.isOpen() && !file.writer.flush())
                return file.writer.error();
            if (std::optional<QString> error = open(file, item.board, day))
                return error;
        }
        SessionEvent event;
        event.kind = item.kind;
        event.stamp = item.stamp;
        event.index = item.index;
        event.value = item.value;
        event.flag = item.flag;
        event.text = item.text;
        event.detail = item.detail;
        file.writer.record(event, item.board);
    }
    for (auto &[board, file] : m_files) {
        if (file.writer.isOpen() && !file.writer.flush())
            return file.writer.error();
    }
    return std::nullopt;
}

void Writer::closeAll()
{
    for (auto &[board, file] : m_files)
        file.writer.close();
}

} // namespace

Journal::Journal(JournalSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_shared(std::make_shared<Shared>())
{}

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
    case SessionEvent::Kind::LineReceived:
    case SessionEvent::Kind::Reading:
    case SessionEvent::Kind::PinLevel:
    case SessionEvent::Kind::StatusText:
        return true;
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
    if (m_thread.joinable())
        m_thread.join(); // stopped by a failure: its thread has ended
    if (std::optional<QString> failure = makePrivateFolder(m_settings.folder)) {
        if (error)
            *error = *failure;
        return false;
    }
    m_originMs = monotonicClockMs();
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->running = true;
        m_shared->stopWanted = false;
        m_shared->queue.clear();
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void Journal::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->stopWanted = true;
    }
    m_shared->wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void Journal::flush()
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    if (!m_shared->running)
        return;
    const quint64 wanted = ++m_shared->flushesWanted;
    m_shared->wake.notify_all();
    m_shared->written.wait(lock, [&] { return m_shared->flushesDone >= wanted || !m_shared->running; });
}

void Journal::take(const SessionEvent &event)
{
    // A consumed line is kept as its reading.
    if (event.kind == SessionEvent::Kind::LineReceived && event.flag)
        return;
    Item item;
    item.kind = event.kind;
    item.stamp = event.stamp;
    if (event.source)
        item.board = event.source->serial();
    item.index = event.index;
    item.value = event.value;
    item.flag = event.flag;
    if (!event.text.isEmpty())
        item.text = event.textString ? *event.textString : event.text.toString();
    if (!event.detail.isEmpty())
        item.detail = event.detail.toString();
    const bool urgent = event.kind == SessionEvent::Kind::CommandSent;
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (!m_shared->running)
            return;
        m_shared->queue.push_back(std::move(item));
        m_shared->urgent = m_shared->urgent || urgent;
    }
    if (urgent)
        m_shared->wake.notify_all();
}

void Journal::reportFailure(const QString &reason)
{
    QMetaObject::invokeMethod(
        this, [this, reason] { Q_EMIT stopped(reason); }, Qt::QueuedConnection);
}

void Journal::run()
{
    Writer writer(m_settings, m_originMs);
    Shared &shared = *m_shared;
    std::vector<Item> batch;
    for (;;) {
        quint64 flushes = 0;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            shared.wake.wait_for(lock, kLongestWait, [&] {
                return shared.stopWanted || shared.urgent || shared.flushesWanted > shared.flushesDone;
            });
            batch.swap(shared.queue);
            shared.urgent = false;
            flushes = shared.flushesWanted;
            stopping = shared.stopWanted;
        }
        const std::optional<QString> failure = writer.write(batch);
        batch.clear();
        if (failure) {
            writer.closeAll();
            {
                const std::lock_guard<std::mutex> lock(shared.mutex);
                shared.running = false;
                shared.queue.clear();
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
