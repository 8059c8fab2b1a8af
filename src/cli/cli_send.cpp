#include "cli/cli_commands.h"

#include "device/board_commands.h"
#include "files/script_sending.h"
#include "session/board_session.h"

bool CliSend::sendSurvivingLoss(CliContext::Board &board, const QString &text)
{
    for (;;) {
        board.session->send(text);
        if (!board.session->isLost())
            return true;
        if (!m_context.options().reconnect)
            return false;
        // Wait for the board to come back, then send again what went nowhere.
        const auto outcome = m_context.pollUntil(QDeadlineTimer(QDeadlineTimer::Forever), false, &board);
        if (outcome != CliContext::Outcome::Done)
            return false;
    }
}

void CliSend::answered(CliContext::Board &board, const SessionEvent &event)
{
    if (event.kind == SessionEvent::Kind::Lost || event.kind == SessionEvent::Kind::Back) {
        lostOrBack(event);
        return;
    }
    // Every line the board answers, up to the one that meets the expectation.
    if (board.matched)
        return;
    // As it came in the text format; as a line record in the others.
    if (m_context.options().format == RecordFormat::Text)
        m_context.records().line(event.text.toUtf8());
    else
        m_context.records().record(event);
    const std::optional<QRegularExpression> &expect = m_context.options().expect;
    if (expect && expect->match(event.text).hasMatch())
        board.matched = true;
}

void CliSend::lostOrBack(const SessionEvent &event)
{
    RecordWriter &records = m_context.records();
    if (m_context.options().format == RecordFormat::Text) {
        const QString serial = event.source ? event.source->serial() : event.text.toString();
        records.line(QByteArray(RecordWriter::kindName(event.kind)) + ' ' + serial.toUtf8());
    } else {
        records.record(event);
    }
    // Said when it happens: a bench waiting on standard output sees the loss while the board is away.
    records.flush();
}

int CliSend::run()
{
    const CliOptions &options = m_context.options();
    if (!m_context.openBoards(CliContext::kPollMs))
        return m_context.finish(kExitNoBoard);
    CliContext::Board &board = m_context.boards().front();
    m_context.records().header();
    using Kind = SessionEvent::Kind;
    // Without --reconnect a loss ends the run, and standard error says so.
    const EventKinds kinds =
        options.reconnect ? eventKinds({Kind::LineReceived, Kind::Lost, Kind::Back}) : eventKinds({Kind::LineReceived});
    board.subscription =
        board.session->events().subscribe([this, &board](const SessionEvent &event) { answered(board, event); }, kinds);
    for (const CliOptions::Step &step : options.steps) {
        const QString text =
            step.kind == CliOptions::Step::Kind::Command ? typedCommand(step.text) : scriptSendText(step.text);
        if (!sendSurvivingLoss(board, text)) {
            if (m_context.stopRequested())
                return m_context.finish(m_context.interruptedExit());
            m_context.error(QStringLiteral("board %1 was lost").arg(board.serial));
            return m_context.finish(kExitLost);
        }
    }
    // What the board answers is printed, until the expected line or for the wait.
    const bool expecting = options.expect.has_value();
    const auto limitMs = expecting ? qint64(options.timeoutSeconds * 1000) : qint64(options.waitMs);
    switch (m_context.pollUntil(QDeadlineTimer(limitMs), expecting)) {
    case CliContext::Outcome::Matched:
        return m_context.finish(kExitOk);
    case CliContext::Outcome::Lost:
        m_context.error(QStringLiteral("board %1 was lost").arg(board.serial));
        return m_context.finish(kExitLost);
    case CliContext::Outcome::Stopped:
        return m_context.finish(m_context.interruptedExit());
    case CliContext::Outcome::OutputClosed:
        return m_context.finish(kExitOk);
    case CliContext::Outcome::Done:
    case CliContext::Outcome::Expired:
    case CliContext::Outcome::Ended:
    case CliContext::Outcome::Alarmed: // send judges no alarm
        break;
    }
    if (!expecting)
        return m_context.finish(kExitOk);
    m_context.error(QStringLiteral("no received line matched \"%1\" within %2 s")
                        .arg(options.expect->pattern())
                        .arg(options.timeoutSeconds));
    return m_context.finish(kExitNotMet);
}
