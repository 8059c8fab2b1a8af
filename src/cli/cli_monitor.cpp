#include "cli/cli_commands.h"

#include "device/report.h"

#include <algorithm>

void CliMonitor::take(CliContext::Board &board, const SessionEvent &event)
{
    const CliOptions &options = m_context.options();
    RecordWriter &records = m_context.records();
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
        if (options.channels.contains(event.index))
            records.record(event);
        return;
    case SessionEvent::Kind::PinLevel:
        if (options.pins.contains(event.index))
            records.record(event);
        return;
    case SessionEvent::Kind::Gap:
        // Where readings stopped (a board lost, say), the records say so.
        records.record(event);
        return;
    case SessionEvent::Kind::AlarmRaised:
        records.record(event);
        if (options.failOnAlarm && event.value >= std::int32_t(*options.failOnAlarm))
            m_context.alarmEndsRun(
                QStringLiteral("alarm \"%1\" (%2) was raised on %3: %4")
                    .arg(event.text, severityName(AlarmSeverity(event.value)), board.serial, event.detail));
        return;
    case SessionEvent::Kind::AlarmAcknowledged:
    case SessionEvent::Kind::AlarmCleared:
        records.record(event);
        return;
    case SessionEvent::Kind::LineReceived:
        break;
    default:
        return;
    }
    // A reading of a listed channel, or a level of a listed pin, has its own record.
    const Report *report = event.report;
    const bool shown = event.flag || (report && report->kind == Report::Kind::Pin && report->applicable &&
                                      options.pins.contains(report->pin));
    if (!shown)
        records.record(event);
    if (board.matched || !options.expect || !options.expect->match(event.text).hasMatch())
        return;
    board.matched = true;
    records.match(event);
}

int CliMonitor::run()
{
    const CliOptions &options = m_context.options();
    RecordWriter &records = m_context.records();
    if (!m_context.openBoards(CliContext::kPollMs))
        return m_context.finish(kExitNoBoard);
    records.header();
    for (CliContext::Board &board : m_context.boards()) {
        using Kind = SessionEvent::Kind;
        board.subscription = board.session->events().subscribe(
            [this, &board](const SessionEvent &event) { take(board, event); },
            eventKinds({Kind::Reading, Kind::PinLevel, Kind::LineReceived, Kind::Gap, Kind::AlarmRaised,
                        Kind::AlarmAcknowledged, Kind::AlarmCleared}));
        BoardSession &session = *board.session;
        for (int channel : options.channels)
            session.setChannelTicked(channel, true);
        session.setAnalogRequestsOn(!options.channels.isEmpty());
        // A board lost now gets its monitoring back with the rest of its set-up when it returns.
        for (int pin : options.pins)
            session.setPinMonitored(pin, true);
    }
    records.flush();

    qint64 limitMs = -1;
    if (options.seconds)
        limitMs = qint64(*options.seconds * 1000);
    if (options.expect) {
        const auto timeoutMs = qint64(options.timeoutSeconds * 1000);
        limitMs = limitMs < 0 ? timeoutMs : std::min(limitMs, timeoutMs);
    }
    const QDeadlineTimer deadline = limitMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(limitMs);
    auto outcome = CliContext::Outcome::Lost;
    if (!m_context.lostBoard() || options.reconnect) {
        do {
            outcome = m_context.pollUntil(deadline, options.expect.has_value());
        } while (outcome == CliContext::Outcome::Done); // back after a loss: go on
    }

    for (CliContext::Board &board : m_context.boards()) {
        if (board.session->isLost())
            continue;
        for (int pin : options.pins)
            board.session->setPinMonitored(pin, false);
    }
    if (outcome == CliContext::Outcome::Alarmed) {
        m_context.error(m_context.endingAlarm());
        return m_context.finish(kExitNotMet);
    }
    if (outcome == CliContext::Outcome::Lost) {
        const CliContext::Board *lost = m_context.lostBoard();
        m_context.error(QStringLiteral("board %1 was lost").arg(lost ? lost->serial : QString()));
        return m_context.finish(kExitLost);
    }
    const bool allMatched = std::all_of(m_context.boards().begin(), m_context.boards().end(),
                                        [](const CliContext::Board &board) { return board.matched; });
    // Ctrl+C is how a plain monitor is stopped; an expectation not met by then is not met.
    if (options.expect && !allMatched) {
        if (outcome == CliContext::Outcome::Expired)
            m_context.error(QStringLiteral("no received line matched \"%1\" in time").arg(options.expect->pattern()));
        return m_context.finish(kExitNotMet);
    }
    return m_context.finish(kExitOk);
}
