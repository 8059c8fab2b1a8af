#include "cli/cli_context.h"

#include "device/driver.h"
#include "records/journal.h"
#include "replay/replay_driver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <csignal>

CliContext::CliContext(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err)
    : m_driver(driver)
    , m_replay(driver.playedFeed() ? dynamic_cast<ReplayDriver *>(&driver) : nullptr)
    , m_options(std::move(options))
    , m_err(err)
    , m_records(m_options.format)
    , m_host(driver, HostOptions{false, false, true})
{
    m_records.open(out);
    if (m_options.alarms) {
        m_host.setAlarmFile(*m_options.alarms);
        m_records.setCalibration(m_options.alarms->over(BoardCalibration()));
    }
    // Every board's events are stamped on the same monotonic clock; t_ms counts from here.
    // A replay's t_ms counts from its span's start, on the recorded clock.
    m_records.setOrigin(m_replay ? m_replay->positionMonoMs() : monotonicClockMs());
    m_records.setBoardInText(m_options.boards.size() > 1);
    for (const QString &serial : m_options.boards)
        m_boards.push_back(Board{serial, nullptr, {}, {}, false});
    m_host.setReconnect(m_options.reconnect);
    connect(&m_host, &BoardHost::journalStopped, this,
            [this](const QString &reason) { error(QStringLiteral("journal stopped: %1").arg(reason)); });
}

CliContext::~CliContext() = default;

void CliContext::error(const QString &text)
{
    std::fprintf(m_err, "vantrel-cli: %s\n", text.toUtf8().constData());
    std::fflush(m_err);
}

void CliContext::keepJournal()
{
    if (m_options.journalFolder.isEmpty())
        return;
    JournalSettings settings;
    settings.folder = m_options.journalFolder;
    settings.maxTotalBytes = m_options.journalMaxMiB * 1024 * 1024;
    settings.maxAgeDays = m_options.journalMaxDays;
    settings.everyPoll = m_options.journalEveryPoll;
    // A journal that cannot be kept does not keep the board from being used.
    m_host.setUpJournal(settings, true);
}

bool CliContext::openBoards(std::optional<int> pollMs)
{
    QStringList serials;
    for (const Board &board : m_boards)
        serials.append(board.serial);
    QString why;
    const std::vector<BoardSession *> sessions = m_host.open(serials, &why);
    if (sessions.empty()) {
        error(why);
        return false;
    }
    for (std::size_t i = 0; i < m_boards.size(); ++i) {
        Board &board = m_boards[i];
        board.session = sessions[i];
        // A board's records in its own units: the rules file's calibration over the window program's of the board.
        if (m_options.alarms)
            m_records.setCalibration(board.serial, m_host.board(board.serial).alarms.calibration());
        // A replay as fast as it can goes on as soon as it can.
        if (pollMs && m_replay && m_replay->speed() == ReplayDriver::kFastest)
            pollMs = 1;
        if (pollMs)
            board.polling = board.session->wantPolling(std::chrono::milliseconds(*pollMs), QStringLiteral("runner"));
    }
    return true;
}

CliContext::Board *CliContext::lostBoard()
{
    for (Board &board : m_boards) {
        if (board.session && board.session->isLost())
            return &board;
    }
    return nullptr;
}

void CliContext::requestStop(int signal)
{
    m_stopRequested = true;
    m_stopSignal = signal;
    if (onStop)
        onStop();
    if (m_loop)
        m_loop->quit();
}

void CliContext::alarmEndsRun(const QString &what)
{
    if (!m_endingAlarm.isEmpty())
        return;
    m_endingAlarm = what;
    if (m_loop)
        m_loop->quit();
}

int CliContext::interruptedExit() const
{
    return m_stopSignal == SIGINT ? kExitInterrupted : kExitTerminated;
}

std::optional<CliContext::Outcome> CliContext::check(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn)
{
    if (m_stopRequested)
        return Outcome::Stopped;
    if (m_records.failed())
        return Outcome::OutputClosed;
    if (!m_endingAlarm.isEmpty())
        return Outcome::Alarmed;
    if (stopOnMatch && std::all_of(m_boards.begin(), m_boards.end(), [](const Board &board) { return board.matched; }))
        return Outcome::Matched;
    if (lostBoard() && !m_options.reconnect)
        return Outcome::Lost;
    if (waitingForReturn && !waitingForReturn->session->isLost())
        return Outcome::Done;
    if (deadline.hasExpired())
        return Outcome::Expired;
    if (m_replay && m_replay->isFinished())
        return Outcome::Ended;
    return std::nullopt;
}

CliContext::Outcome CliContext::pollUntil(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn)
{
    std::optional<Outcome> outcome = check(deadline, stopOnMatch, waitingForReturn);
    if (outcome)
        return *outcome;

    QEventLoop loop;
    const auto checkAfterPoll = [&] {
        m_records.flush();
        outcome = check(deadline, stopOnMatch, waitingForReturn);
        if (outcome)
            loop.quit();
    };
    std::vector<QMetaObject::Connection> connections;
    for (const Board &board : m_boards)
        connections.push_back(connect(&board.session->poller(), &Poller::polled, &loop, checkAfterPoll));
    QTimer end;
    end.setSingleShot(true);
    if (!deadline.isForever()) {
        connect(&end, &QTimer::timeout, &loop, checkAfterPoll);
        end.start(int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX)));
    }
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    for (const QMetaObject::Connection &connection : connections)
        disconnect(connection);
    return check(deadline, stopOnMatch, waitingForReturn).value_or(Outcome::Done);
}

int CliContext::finish(int exitCode)
{
    m_records.flush();
    // The end of the run is no gap in its records: the boards are closed before anyone lets their polling go.
    for (Board &board : m_boards)
        board.subscription.reset();
    m_host.closeAll();
    for (Board &board : m_boards)
        board.polling.reset();
    // What a replay could not read is said once.
    if (m_replay && m_replay->skippedLines() > 0)
        error(QStringLiteral("%1 lines of the journal skipped (not whole records, or times going back)")
                  .arg(m_replay->skippedLines()));
    if (Journal *journal = m_host.journal()) {
        journal->flush();
        journal->stop();
        // A failure it said from its own thread is said now.
        QCoreApplication::sendPostedEvents(journal);
    }
    // Output that went nowhere is a failure, whatever else happened; a reader that left is not.
    if (m_records.failed() && !m_records.readerGone()) {
        error(QStringLiteral("output could not be written: %1").arg(m_records.error()));
        return kExitOutput;
    }
    return exitCode;
}
