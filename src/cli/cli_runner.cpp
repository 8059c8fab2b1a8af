#include "cli/cli_runner.h"

#include "device/command_text.h"
#include "device/driver.h"
#include "device/report.h"
#include "files/script_sending.h"

#include <QEventLoop>
#include <QTimer>

CliRunner::CliRunner(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err, AppState &state)
    : m_options(std::move(options))
    , m_session(driver, *this, state)
    , m_out(out)
    , m_err(err)
    , m_records(out, m_options.format)
{
    for (int channel : m_options.channels)
        m_channels.set(std::size_t(channel));
    for (int pin : m_options.pins)
        m_pins.set(std::size_t(pin));
    m_session.setReconnect(m_options.reconnect);
}

int CliRunner::run()
{
    m_elapsed.start();
    switch (m_options.command) {
    case CliOptions::Command::List:
        return list();
    case CliOptions::Command::Send:
        return send();
    case CliOptions::Command::Monitor:
        break;
    }
    return monitor();
}

void CliRunner::requestStop()
{
    m_stopRequested = true;
    if (m_loop)
        m_loop->quit();
}

void CliRunner::error(const QString &text)
{
    std::fprintf(m_err, "vantrel-cli: %s\n", qPrintable(text));
    std::fflush(m_err);
}

int CliRunner::list()
{
    const QStringList serials = m_session.scanDevices();
    for (const QString &serial : serials)
        std::fprintf(m_out, "%s\n", serial.toUtf8().constData());
    std::fflush(m_out);
    if (serials.isEmpty()) {
        error(QStringLiteral("no boards found"));
        return kExitNoBoard;
    }
    return kExitOk;
}

bool CliRunner::openBoard()
{
    const qsizetype position = m_session.scanDevices().indexOf(m_options.board);
    if (position < 0) {
        error(QStringLiteral("board %1 is not listed").arg(m_options.board));
        return false;
    }
    m_session.selectDevice(std::int32_t(position));
    if (m_session.handle() <= 0) {
        const QString reason = m_session.driver().openFailureReason();
        error(QStringLiteral("board %1 could not be opened%2")
                  .arg(m_options.board, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
        return false;
    }
    return true;
}

bool CliRunner::sendSurvivingLoss(const QString &text)
{
    for (;;) {
        m_session.send(text);
        if (!m_session.isLost())
            return true;
        if (!m_options.reconnect)
            return false;
        // Wait for the board to come back, then send again what went nowhere.
        const Outcome outcome = pollUntil(QDeadlineTimer(QDeadlineTimer::Forever), false);
        if (outcome != Outcome::Done)
            return false;
    }
}

CliRunner::Outcome CliRunner::pollUntil(QDeadlineTimer deadline, bool stopOnMatch)
{
    const bool waitingForReturn = m_session.isLost();
    Outcome outcome = Outcome::Done;
    const auto check = [&] {
        if (m_stopRequested)
            outcome = Outcome::Stopped;
        else if (m_records.failed())
            outcome = Outcome::OutputClosed;
        else if (stopOnMatch && m_matched)
            outcome = Outcome::Matched;
        else if (m_session.isLost() && !m_options.reconnect)
            outcome = Outcome::Lost;
        else if (waitingForReturn && !m_session.isLost())
            outcome = Outcome::Done;
        else if (deadline.hasExpired())
            outcome = Outcome::Expired;
        else
            return false;
        return true;
    };
    if (check())
        return outcome;

    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kPollMs);
    connect(&timer, &QTimer::timeout, &loop, [&] {
        m_session.poll();
        m_records.flush();
        if (check())
            loop.quit();
    });
    QTimer end;
    end.setSingleShot(true);
    if (!deadline.isForever()) {
        connect(&end, &QTimer::timeout, &loop, [&] {
            if (check())
                loop.quit();
        });
        end.start(int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX)));
    }
    m_loop = &loop;
    timer.start();
    loop.exec();
    m_loop = nullptr;
    check();
    return outcome;
}

int CliRunner::finish(int exitCode)
{
    m_records.flush();
    m_session.closeDevice();
    return exitCode;
}

int CliRunner::send()
{
    if (!openBoard())
        return kExitNoBoard;
    for (const CliOptions::Step &step : m_options.steps) {
        const QString text = step.kind == CliOptions::Step::Kind::Command ? QString(step.text).append(kCrLf)
                                                                          : scriptCommand(step.text);
        if (!sendSurvivingLoss(text)) {
            if (m_stopRequested)
                return finish(kExitNotMet);
            error(QStringLiteral("board %1 was lost").arg(m_options.board));
            return finish(kExitLost);
        }
    }
    if (!m_options.expect)
        return finish(kExitOk);
    const auto timeoutMs = qint64(m_options.timeoutSeconds * 1000);
    switch (pollUntil(QDeadlineTimer(timeoutMs), true)) {
    case Outcome::Matched:
        return finish(kExitOk);
    case Outcome::Lost:
        error(QStringLiteral("board %1 was lost").arg(m_options.board));
        return finish(kExitLost);
    default:
        error(QStringLiteral("no received line matched \"%1\" within %2 s")
                  .arg(m_options.expect->pattern())
                  .arg(m_options.timeoutSeconds));
        return finish(kExitNotMet);
    }
}

int CliRunner::monitor()
{
    if (!openBoard())
        return kExitNoBoard;
    m_records.header();
    for (int pin : m_options.pins) {
        if (!sendSurvivingLoss(pinCommand(pin, u" monitor on").append(kLf)))
            break;
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
    if (!m_session.isLost() || m_options.reconnect) {
        do {
            outcome = pollUntil(deadline, m_options.expect.has_value());
        } while (outcome == Outcome::Done); // back after a loss: go on
    }

    if (!m_session.isLost()) {
        for (int pin : m_options.pins)
            m_session.send(pinCommand(pin, u" monitor off").append(kLf));
    }
    if (outcome == Outcome::Lost) {
        error(QStringLiteral("board %1 was lost").arg(m_options.board));
        return finish(kExitLost);
    }
    if (m_options.expect && !m_matched) {
        if (outcome == Outcome::Expired)
            error(QStringLiteral("no received line matched \"%1\" in time").arg(m_options.expect->pattern()));
        return finish(kExitNotMet);
    }
    return finish(kExitOk);
}

void CliRunner::showPinLevel(int pin, bool high)
{
    if (m_pins.test(std::size_t(pin)))
        m_records.pinLevel(now(), pin, high ? 1 : 0);
}

void CliRunner::showReading(int channel, std::int32_t value)
{
    if (m_channels.test(std::size_t(channel)))
        m_records.reading(now(), channel, value);
}

void CliRunner::lineReceived(const QString &line, const Report &report, bool consumed)
{
    const bool isMonitor = m_options.command == CliOptions::Command::Monitor;
    // A reading of a listed channel, or a level of a listed pin, has its own record.
    const bool shown = consumed || (report.kind == Report::Kind::Pin && report.applicable &&
                                    m_pins.test(std::size_t(report.pin)));
    if (isMonitor && !shown)
        m_records.line(now(), line);
    if (m_matched || !m_options.expect || !m_options.expect->match(line).hasMatch())
        return;
    m_matched = true;
    if (isMonitor) {
        m_records.match(now(), line);
    } else {
        std::fprintf(m_out, "%s\n", line.toUtf8().constData());
        std::fflush(m_out);
    }
}
