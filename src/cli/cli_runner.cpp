#include "cli/cli_runner.h"

#include "device/board_commands.h"
#include "device/driver.h"
#include "device/report.h"
#include "files/script_sending.h"
#include "network/bridge.h"
#include "plans/plan_report.h"
#include "plans/plan_run.h"
#include "records/journal.h"
#include "records/journal_reader.h"
#include "session/poller.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <csignal>

CliRunner::CliRunner(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err)
    : m_driver(driver)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err)
    , m_records(m_options.format)
{
    for (const QString &serial : m_options.boards) {
        auto board = std::make_unique<Board>();
        board->serial = serial;
        board->session = std::make_unique<BoardSession>(driver);
        board->session->setReconnect(m_options.reconnect);
        board->session->poller().setInterval(kPollMs);
        Board *raw = board.get();
        // A test prints its steps, not what the board says.
        if (m_options.command != CliOptions::Command::Test)
            board->subscription = board->session->events().subscribe(
                [this, raw](const SessionEvent &event) { sessionEvent(*raw, event); },
                eventKinds(
                    {SessionEvent::Kind::Reading, SessionEvent::Kind::PinLevel, SessionEvent::Kind::LineReceived}));
        m_boards.push_back(std::move(board));
    }
    m_records.setBoardInText(m_boards.size() > 1);
}

CliRunner::~CliRunner() = default;

int CliRunner::run()
{
    m_records.open(m_out);
    // Every board's events are stamped on the same monotonic clock; t_ms counts from here.
    m_records.setOrigin(monotonicClockMs());
    keepJournal();
    switch (m_options.command) {
    case CliOptions::Command::List:
        return list();
    case CliOptions::Command::Send:
        return send();
    case CliOptions::Command::Journal:
        return journal();
    case CliOptions::Command::Test:
        return test();
    case CliOptions::Command::Serve:
        return serve();
    case CliOptions::Command::Monitor:
        break;
    }
    return monitor();
}

void CliRunner::keepJournal()
{
    const bool opensBoard = m_options.command == CliOptions::Command::Send ||
                            m_options.command == CliOptions::Command::Monitor ||
                            m_options.command == CliOptions::Command::Test;
    if (!opensBoard || m_options.journalFolder.isEmpty())
        return;
    JournalSettings settings;
    settings.folder = m_options.journalFolder;
    settings.maxTotalBytes = m_options.journalMaxMiB * 1024 * 1024;
    settings.maxAgeDays = m_options.journalMaxDays;
    m_journal = std::make_unique<Journal>(settings);
    connect(m_journal.get(), &Journal::stopped, this,
            [this](const QString &reason) { error(QStringLiteral("journal stopped: %1").arg(reason)); });
    for (const auto &board : m_boards)
        m_journal->attach(*board->session);
    // A journal that cannot be kept does not keep the board from being used.
    if (QString reason; !m_journal->start(&reason))
        error(QStringLiteral("journal stopped: %1").arg(reason));
}

int CliRunner::journal()
{
    JournalQuery query;
    query.folder = m_options.journalFolder;
    query.board = m_options.boards.value(0);
    query.sinceMs = m_options.sinceMs;
    query.untilMs = m_options.untilMs;
    query.kinds = m_options.kinds;
    if (m_options.format == RecordFormat::Csv)
        m_records.header();
    const bool found = readJournal(query, [this](const JournalRecord &record) {
        switch (m_options.format) {
        case RecordFormat::Text:
            m_records.line(journalTextLine(record).toUtf8());
            break;
        case RecordFormat::Csv:
            m_records.line(journalCsvRow(record));
            break;
        case RecordFormat::Jsonl:
            m_records.line(record.line);
            break;
        }
        // Written as it goes, so a large journal streams; a reader that left ends the reading.
        if (m_records.pendingBytes() > 64 * 1024)
            m_records.flush();
        return !m_records.failed();
    });
    if (!found) {
        error(QStringLiteral("board %1 has no journal in %2").arg(query.board, QDir::toNativeSeparators(query.folder)));
        return finish(kExitNoBoard);
    }
    return finish(kExitOk);
}

void CliRunner::requestStop(int signal)
{
    m_stopRequested = true;
    m_stopSignal = signal;
    if (m_planRun)
        m_planRun->stop();
    if (m_loop)
        m_loop->quit();
}

int CliRunner::interruptedExit() const
{
    return m_stopSignal == SIGINT ? kExitInterrupted : kExitTerminated;
}

void CliRunner::error(const QString &text)
{
    std::fprintf(m_err, "vantrel-cli: %s\n", text.toUtf8().constData());
    std::fflush(m_err);
}

int CliRunner::list()
{
    BoardSession session(m_driver);
    const QStringList serials = session.scanDevices();
    for (const QString &serial : serials)
        m_records.line(serial.toUtf8());
    if (serials.isEmpty()) {
        error(QStringLiteral("no boards found"));
        return finish(kExitNoBoard);
    }
    return finish(kExitOk);
}

bool CliRunner::openBoards()
{
    // Every board is looked for before any is opened: a missing one opens none.
    const QStringList listed = m_boards.front()->session->scanDevices();
    for (const auto &board : m_boards) {
        if (!listed.contains(board->serial)) {
            error(QStringLiteral("board %1 is not listed").arg(board->serial));
            return false;
        }
    }
    for (const auto &board : m_boards) {
        BoardSession &session = *board->session;
        session.selectDevice(std::int32_t(listed.indexOf(board->serial)));
        if (session.handle() <= 0) {
            const QString reason = m_driver.openFailureReason();
            error(QStringLiteral("board %1 could not be opened%2")
                      .arg(board->serial, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
            for (const auto &opened : m_boards)
                opened->session->closeDevice();
            return false;
        }
    }
    return true;
}

bool CliRunner::sendSurvivingLoss(Board &board, const QString &text)
{
    for (;;) {
        board.session->send(text);
        if (!board.session->isLost())
            return true;
        if (!m_options.reconnect)
            return false;
        // Wait for the board to come back, then send again what went nowhere.
        const Outcome outcome = pollUntil(QDeadlineTimer(QDeadlineTimer::Forever), false, &board);
        if (outcome != Outcome::Done)
            return false;
    }
}

CliRunner::Board *CliRunner::lostBoard() const
{
    for (const auto &board : m_boards) {
        if (board->session->isLost())
            return board.get();
    }
    return nullptr;
}

std::optional<CliRunner::Outcome> CliRunner::check(QDeadlineTimer deadline, bool stopOnMatch,
                                                   Board *waitingForReturn) const
{
    if (m_stopRequested)
        return Outcome::Stopped;
    if (m_records.failed())
        return Outcome::OutputClosed;
    if (stopOnMatch && std::all_of(m_boards.begin(), m_boards.end(), [](const auto &board) { return board->matched; }))
        return Outcome::Matched;
    if (lostBoard() && !m_options.reconnect)
        return Outcome::Lost;
    if (waitingForReturn && !waitingForReturn->session->isLost())
        return Outcome::Done;
    if (deadline.hasExpired())
        return Outcome::Expired;
    return std::nullopt;
}

CliRunner::Outcome CliRunner::pollUntil(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn)
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
    for (const auto &board : m_boards) {
        connections.push_back(connect(&board->session->poller(), &Poller::polled, &loop, checkAfterPoll));
        board->session->poller().start();
    }
    QTimer end;
    end.setSingleShot(true);
    if (!deadline.isForever()) {
        connect(&end, &QTimer::timeout, &loop, checkAfterPoll);
        end.start(int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX)));
    }
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    for (const auto &board : m_boards)
        board->session->poller().stop();
    for (const QMetaObject::Connection &connection : connections)
        disconnect(connection);
    return check(deadline, stopOnMatch, waitingForReturn).value_or(Outcome::Done);
}

int CliRunner::finish(int exitCode)
{
    m_records.flush();
    for (const auto &board : m_boards)
        board->session->closeDevice();
    if (m_journal) {
        m_journal->flush();
        m_journal->stop();
        // A failure it said from its own thread is said now.
        QCoreApplication::sendPostedEvents(m_journal.get());
    }
    // Output that went nowhere is a failure, whatever else happened; a reader that left is not.
    if (m_records.failed() && !m_records.readerGone()) {
        error(QStringLiteral("output could not be written: %1").arg(m_records.error()));
        return kExitOutput;
    }
    return exitCode;
}

int CliRunner::send()
{
    if (!openBoards())
        return finish(kExitNoBoard);
    Board &board = *m_boards.front();
    for (const CliOptions::Step &step : m_options.steps) {
        const QString text =
            step.kind == CliOptions::Step::Kind::Command ? typedCommand(step.text) : scriptSendText(step.text);
        if (!sendSurvivingLoss(board, text)) {
            if (m_stopRequested)
                return finish(interruptedExit());
            error(QStringLiteral("board %1 was lost").arg(board.serial));
            return finish(kExitLost);
        }
    }
    // What the board answers is printed, until the expected line or for the wait.
    const bool expecting = m_options.expect.has_value();
    const auto limitMs = expecting ? qint64(m_options.timeoutSeconds * 1000) : qint64(m_options.waitMs);
    switch (pollUntil(QDeadlineTimer(limitMs), expecting)) {
    case Outcome::Matched:
        return finish(kExitOk);
    case Outcome::Lost:
        error(QStringLiteral("board %1 was lost").arg(board.serial));
        return finish(kExitLost);
    case Outcome::Stopped:
        return finish(interruptedExit());
    case Outcome::OutputClosed:
        return finish(kExitOk);
    case Outcome::Done:
    case Outcome::Expired:
        break;
    }
    if (!expecting)
        return finish(kExitOk);
    error(QStringLiteral("no received line matched \"%1\" within %2 s")
              .arg(m_options.expect->pattern())
              .arg(m_options.timeoutSeconds));
    return finish(kExitNotMet);
}

void CliRunner::printStep(const PlanRun &run, int index)
{
    const StepResult &result = run.results()[std::size_t(index)];
    m_records.line(QStringLiteral("%1 %2 (%3 s): %4; expected %5")
                       .arg(outcomeText(result.outcome).leftJustified(5), run.plan().steps[std::size_t(index)].name)
                       .arg(double(result.elapsedMs) / 1000.0, 0, 'f', 3)
                       .arg(result.measured, result.expected)
                       .toUtf8());
    m_records.flush();
}

int CliRunner::test()
{
    if (!openBoards())
        return finish(kExitNoBoard);
    BoardSession &session = *m_boards.front()->session;
    session.poller().setInterval(m_options.pollMs);
    PlanRun run(session, *m_options.plan);
    QEventLoop loop;
    std::vector<bool> printed(run.results().size());
    connect(&run, &PlanRun::stepFinished, this, [this, &run, &printed](int index) {
        printStep(run, index);
        printed[std::size_t(index)] = true;
    });
    connect(&run, &PlanRun::finished, &loop, &QEventLoop::quit);
    m_planRun = &run;
    run.start();
    if (!run.isFinished())
        loop.exec();
    m_planRun = nullptr;
    // Steps that did not end by themselves (skipped, or not run after a loss) are said too.
    for (int index = 0; index < int(printed.size()); ++index) {
        if (!printed[std::size_t(index)])
            printStep(run, index);
    }
    m_records.line(run.verdictLine().toUtf8());
    int exitCode = run.passed() ? kExitOk : kExitNotMet;
    if (run.boardLost()) {
        error(QStringLiteral("board %1 was lost").arg(m_boards.front()->serial));
        exitCode = kExitLost;
    }
    if (m_stopRequested)
        exitCode = interruptedExit();
    // The reports are written however the run ended.
    const ReportContext context = thisProcessContext();
    for (const QString &file : {m_options.junitFile, m_options.reportFile}) {
        if (file.isEmpty())
            continue;
        if (const auto failure = saveReport(file, run, context)) {
            error(QStringLiteral("report %1 could not be written: %2").arg(file, *failure));
            exitCode = kExitOutput;
        }
    }
    return finish(exitCode);
}

int CliRunner::serve()
{
    Bridge bridge(m_driver, m_options.bridge, m_err);
    if (!bridge.start())
        return finish(kExitNoBoard);
    // Served until a signal: the boards are then published offline and closed, and the run ends well.
    QEventLoop loop;
    m_loop = &loop;
    if (!m_stopRequested)
        loop.exec();
    m_loop = nullptr;
    bridge.stop();
    return finish(kExitOk);
}

int CliRunner::monitor()
{
    if (!openBoards())
        return finish(kExitNoBoard);
    m_records.header();
    for (const auto &board : m_boards) {
        BoardSession &session = *board->session;
        for (int channel : m_options.channels)
            session.setChannelTicked(channel, true);
        session.setAnalogRequestsOn(!m_options.channels.isEmpty());
        // A board lost now gets its monitoring back with the rest of its set-up when it returns.
        for (int pin : m_options.pins)
            session.setPinMonitored(pin, true);
    }
    m_records.flush();

    qint64 limitMs = -1;
    if (m_options.seconds)
        limitMs = qint64(*m_options.seconds * 1000);
    if (m_options.expect) {
        const auto timeoutMs = qint64(m_options.timeoutSeconds * 1000);
        limitMs = limitMs < 0 ? timeoutMs : std::min(limitMs, timeoutMs);
    }
    const QDeadlineTimer deadline = limitMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(limitMs);
    Outcome outcome = Outcome::Lost;
    if (!lostBoard() || m_options.reconnect) {
        do {
            outcome = pollUntil(deadline, m_options.expect.has_value());
        } while (outcome == Outcome::Done); // back after a loss: go on
    }

    for (const auto &board : m_boards) {
        if (board->session->isLost())
            continue;
        for (int pin : m_options.pins)
            board->session->setPinMonitored(pin, false);
    }
    if (outcome == Outcome::Lost) {
        error(QStringLiteral("board %1 was lost").arg(lostBoard() ? lostBoard()->serial : QString()));
        return finish(kExitLost);
    }
    const bool allMatched =
        std::all_of(m_boards.begin(), m_boards.end(), [](const auto &board) { return board->matched; });
    // Ctrl+C is how a plain monitor is stopped; an expectation not met by then is not met.
    if (m_options.expect && !allMatched) {
        if (outcome == Outcome::Expired)
            error(QStringLiteral("no received line matched \"%1\" in time").arg(m_options.expect->pattern()));
        return finish(kExitNotMet);
    }
    return finish(kExitOk);
}

void CliRunner::sessionEvent(Board &board, const SessionEvent &event)
{
    const bool isMonitor = m_options.command == CliOptions::Command::Monitor;
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
        if (isMonitor && m_options.channels.contains(event.index))
            m_records.record(event);
        return;
    case SessionEvent::Kind::PinLevel:
        if (isMonitor && m_options.pins.contains(event.index))
            m_records.record(event);
        return;
    case SessionEvent::Kind::LineReceived:
        break;
    default:
        return;
    }
    // A reading of a listed channel, or a level of a listed pin, has its own record.
    const Report *report = event.report;
    const bool shown = event.flag || (report && report->kind == Report::Kind::Pin && report->applicable &&
                                      m_options.pins.contains(report->pin));
    if (isMonitor && !shown)
        m_records.record(event);
    // send prints every line the board answers, up to the one that meets the expectation.
    if (!isMonitor && !board.matched)
        m_records.line(event.text.toUtf8());
    if (board.matched || !m_options.expect || !m_options.expect->match(event.text).hasMatch())
        return;
    board.matched = true;
    if (isMonitor)
        m_records.match(event);
}
