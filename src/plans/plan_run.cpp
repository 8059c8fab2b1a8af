#include "plans/plan_run.h"

#include "session/board_session.h"
#include "session/poller.h"
#include "session/session_event.h"

#include <algorithm>
#include <climits>
#include <numeric>

QString outcomeText(StepResult::Outcome outcome)
{
    switch (outcome) {
    case StepResult::Outcome::Pending:
        break;
    case StepResult::Outcome::Running:
        return QStringLiteral("RUN");
    case StepResult::Outcome::Passed:
        return QStringLiteral("PASS");
    case StepResult::Outcome::Failed:
        return QStringLiteral("FAIL");
    case StepResult::Outcome::Error:
        return QStringLiteral("ERROR");
    case StepResult::Outcome::Skipped:
        return QStringLiteral("SKIP");
    }
    return QString();
}

QString stepExpectation(const PlanStep &step)
{
    switch (step.kind) {
    case PlanStep::Kind::Line:
        if (step.expect)
            // One pass: a pattern with "%2" in it stays as written.
            return QStringLiteral("a line matching /%1/ within %2 ms")
                .arg(step.expect->pattern(), QString::number(step.timeoutMs));
        return QStringLiteral("sent");
    case PlanStep::Kind::Pin:
        if (step.expectPin)
            return QStringLiteral("pin %1 = %2 within %3 ms")
                .arg(step.expectPin)
                .arg(int(step.expectLevel))
                .arg(step.timeoutMs);
        return QStringLiteral("pin %1 driven %2").arg(step.setPin).arg(int(step.level));
    case PlanStep::Kind::Analog: {
        const auto limit = [&step](double value) {
            return QString::number(value) + u' ' + step.unit;
        };
        QString text = step.unit.isEmpty() ? QStringLiteral("%1 readings of channel %2 in [%3, %4]")
                                                 .arg(step.samples)
                                                 .arg(step.channel)
                                                 .arg(step.min)
                                                 .arg(step.max)
                                           : QStringLiteral("%1 readings of channel %2 in [%3, %4]")
                                                 .arg(step.samples)
                                                 .arg(step.channel)
                                                 .arg(limit(step.minValue), limit(step.maxValue));
        if (step.meanMin || step.meanMax)
            text += QStringLiteral(", mean in [%1, %2]")
                        .arg(step.meanMin ? QString::number(*step.meanMin) : QStringLiteral("-inf"),
                             step.meanMax ? QString::number(*step.meanMax) : QStringLiteral("inf"));
        return text;
    }
    case PlanStep::Kind::Wait:
        break;
    }
    return QStringLiteral("wait %1 ms").arg(step.waitMs);
}

PlanRun::PlanRun(BoardSession &session, TestPlan plan, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_plan(std::move(plan))
    , m_results(m_plan.steps.size())
{
    for (std::size_t i = 0; i < m_results.size(); ++i)
        m_results[i].expected = stepExpectation(m_plan.steps[i]);
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &PlanRun::checkDeadline);
}

PlanRun::~PlanRun()
{
    if (m_running)
        stop();
}

void PlanRun::start()
{
    if (m_running || m_finished)
        return;
    m_running = true;
    m_startedAt = QDateTime::currentDateTime();
    m_startMs = m_session.now();
    m_board = m_session.serial();
    using Kind = SessionEvent::Kind;
    m_subscriptions.push_back(
        m_session.events().subscribe([this](const SessionEvent &event) { onEvent(event); },
                                     eventKinds({Kind::LineReceived, Kind::Reading, Kind::PinLevel, Kind::Lost})));
    m_polled = connect(&m_session.poller(), &Poller::polled, this, &PlanRun::onPolled);
    m_polling = m_session.wantPolling(m_pollInterval, QStringLiteral("plan run"));
    if (m_session.handle() <= 0 || m_session.isLost()) {
        for (StepResult &result : m_results) {
            result.outcome = StepResult::Outcome::Error;
            result.measured = QStringLiteral("no board open");
        }
        finish();
        return;
    }
    begin(0);
}

void PlanRun::stop()
{
    if (!m_running)
        return;
    for (StepResult &result : m_results) {
        if (result.outcome == StepResult::Outcome::Pending || result.outcome == StepResult::Outcome::Running) {
            if (result.outcome == StepResult::Outcome::Running)
                result.elapsedMs = m_session.now() - result.startedMs;
            result.outcome = StepResult::Outcome::Skipped;
            result.measured = QStringLiteral("stopped");
        }
    }
    finish();
}

int PlanRun::count(StepResult::Outcome outcome) const
{
    return int(std::count_if(m_results.begin(), m_results.end(),
                             [outcome](const StepResult &result) { return result.outcome == outcome; }));
}

bool PlanRun::passed() const
{
    return m_finished && count(StepResult::Outcome::Passed) == int(m_results.size());
}

QString PlanRun::verdictLine() const
{
    const int passedSteps = count(StepResult::Outcome::Passed);
    const int total = int(m_results.size());
    if (passed())
        return QStringLiteral("PASS: %1 of %2 steps passed").arg(passedSteps).arg(total);
    const int errors = count(StepResult::Outcome::Error);
    return QStringLiteral("FAIL: %1 of %2 steps passed (%3 failed, %4%5 skipped)")
        .arg(passedSteps)
        .arg(total)
        .arg(count(StepResult::Outcome::Failed))
        .arg(errors > 0 ? QStringLiteral("%1 errors, ").arg(errors) : QString())
        .arg(count(StepResult::Outcome::Skipped));
}

void PlanRun::begin(int index)
{
    m_index = index;
    const PlanStep &step = currentStep();
    StepResult &result = current();
    result.outcome = StepResult::Outcome::Running;
    result.startedMs = m_session.now();
    const int limitMs = step.kind == PlanStep::Kind::Wait ? step.waitMs : step.timeoutMs;
    m_deadlineMs = result.startedMs + limitMs;
    m_deadline.start(limitMs);
    Q_EMIT stepStarted(index);
    switch (step.kind) {
    case PlanStep::Kind::Line:
        beginLine(step, result);
        break;
    case PlanStep::Kind::Pin:
        beginPin(step, result);
        break;
    case PlanStep::Kind::Analog:
        beginAnalog(step, result);
        break;
    case PlanStep::Kind::Wait:
        if (step.waitMs == 0)
            end(StepResult::Outcome::Passed, QStringLiteral("waited 0 ms"));
        break;
    }
}

void PlanRun::beginLine(const PlanStep &step, StepResult &)
{
    m_lastLine.clear();
    if (step.send)
        m_session.sendTyped(*step.send);
    if (!m_running || current().outcome != StepResult::Outcome::Running)
        return; // the board was lost on the way
    if (!step.expect)
        end(StepResult::Outcome::Passed, QStringLiteral("sent"));
}

void PlanRun::beginPin(const PlanStep &step, StepResult &)
{
    m_lastLevel = -1;
    if (step.setPin)
        m_session.makePinOutputAt(step.setPin, step.level);
    if (!m_running || current().outcome != StepResult::Outcome::Running)
        return;
    if (!step.expectPin) {
        end(StepResult::Outcome::Passed, QStringLiteral("pin %1 driven %2").arg(step.setPin).arg(int(step.level)));
        return;
    }
    // The board reports a pin when its monitoring is switched on: the level now, whoever switched it on.
    if (m_session.setup().isMonitored(step.expectPin)) {
        m_session.requestPinReport(step.expectPin);
    } else {
        m_session.setPinMonitored(step.expectPin, true);
        m_monitoredByRun.set(std::size_t(step.expectPin));
    }
}

void PlanRun::beginAnalog(const PlanStep &step, StepResult &)
{
    m_session.requestReading(step.channel);
}

void PlanRun::boardWasLost()
{
    m_lost = true;
    for (StepResult &result : m_results) {
        if (result.outcome == StepResult::Outcome::Pending) {
            result.outcome = StepResult::Outcome::Error;
            result.measured = QStringLiteral("not run: the board was lost");
        }
    }
    if (m_index >= 0 && current().outcome == StepResult::Outcome::Running) {
        end(StepResult::Outcome::Error, QStringLiteral("the board was lost"));
        return;
    }
    // Lost between two steps: the run ends from the event loop, never inside the session's delivery.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_running)
                finish();
        },
        Qt::QueuedConnection);
}

void PlanRun::onEvent(const SessionEvent &event)
{
    if (!m_running || m_lost)
        return;
    // A loss counts whenever it comes, between steps too.
    if (event.kind == SessionEvent::Kind::Lost) {
        boardWasLost();
        return;
    }
    if (m_index < 0 || current().outcome != StepResult::Outcome::Running)
        return;
    const PlanStep &step = currentStep();
    switch (event.kind) {
    case SessionEvent::Kind::LineReceived:
        if (step.kind != PlanStep::Kind::Line || !step.expect)
            break;
        m_lastLine = event.text.toString();
        if (step.expect->match(m_lastLine).hasMatch())
            end(StepResult::Outcome::Passed, m_lastLine);
        break;
    case SessionEvent::Kind::PinLevel:
        if (step.kind != PlanStep::Kind::Pin || event.index != step.expectPin)
            break;
        m_lastLevel = event.value;
        if ((event.value != 0) == step.expectLevel)
            end(StepResult::Outcome::Passed, QStringLiteral("pin %1 = %2").arg(event.index).arg(event.value));
        break;
    case SessionEvent::Kind::Reading:
        if (step.kind != PlanStep::Kind::Analog || event.index != step.channel)
            break;
        current().samples.push_back(event.value);
        if (int(current().samples.size()) >= step.samples)
            settleAnalog();
        break;
    default:
        break;
    }
}

bool PlanRun::checkDeadline()
{
    if (!m_running || m_index < 0 || current().outcome != StepResult::Outcome::Running)
        return false;
    const qint64 left = m_deadlineMs - m_session.now();
    if (left > 0) {
        // Woken early (or by another clock than the session's): wait for the rest.
        m_deadline.start(int(std::min<qint64>(left, INT_MAX)));
        return false;
    }
    timedOut();
    return true;
}

void PlanRun::onPolled()
{
    if (!m_running || m_index < 0 || current().outcome != StepResult::Outcome::Running)
        return;
    if (checkDeadline())
        return;
    // One reading asked for on each poll, as the analog window asks.
    if (currentStep().kind == PlanStep::Kind::Analog)
        m_session.requestReading(currentStep().channel);
}

QString unitMismatch(const TestPlan &plan, const BoardCalibration &calibration)
{
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const PlanStep &step = plan.steps[i];
        if (step.kind != PlanStep::Kind::Analog || step.unit.isEmpty())
            continue;
        const QString unit = calibration.channel(step.channel).unit;
        if (unit != step.unit)
            return QStringLiteral("%1: step %2: the limits are in %3, but channel %4 reads in %5")
                .arg(plan.file)
                .arg(i + 1)
                .arg(step.unit)
                .arg(step.channel)
                .arg(unit.isEmpty() ? QStringLiteral("counts (no calibration)") : unit);
    }
    return QString();
}

void PlanRun::settleUnits()
{
    const PlanStep &step = currentStep();
    const ChannelCalibration &units = m_calibration.channel(step.channel);
    std::vector<double> values;
    for (const int sample : current().samples)
        values.push_back(units.value(sample));
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    const auto outside = std::count_if(
        values.begin(), values.end(), [&step](double value) { return value < step.minValue || value > step.maxValue; });
    QString measured = QStringLiteral("min %1, mean %2, max %3 (%4 readings)")
                           .arg(units.valueText(*low), units.valueText(mean), units.valueText(*high))
                           .arg(values.size());
    const bool meanOutside = (step.meanMin && mean < *step.meanMin) || (step.meanMax && mean > *step.meanMax);
    if (outside > 0)
        measured += QStringLiteral("; %1 outside [%2, %3]")
                        .arg(outside)
                        .arg(units.valueText(step.minValue), units.valueText(step.maxValue));
    if (meanOutside)
        measured += QStringLiteral("; mean outside its limits");
    end(outside > 0 || meanOutside ? StepResult::Outcome::Failed : StepResult::Outcome::Passed, measured);
}

void PlanRun::settleAnalog()
{
    const PlanStep &step = currentStep();
    if (!step.unit.isEmpty()) {
        settleUnits();
        return;
    }
    StepResult &result = current();
    const std::vector<int> &samples = result.samples;
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / double(samples.size());
    const auto outside = std::count_if(samples.begin(), samples.end(),
                                       [&step](int value) { return value < step.min || value > step.max; });
    QString measured = QStringLiteral("min %1, mean %2, max %3 (%4 readings)")
                           .arg(*low)
                           .arg(mean, 0, 'f', 1)
                           .arg(*high)
                           .arg(samples.size());
    const bool meanOutside = (step.meanMin && mean < *step.meanMin) || (step.meanMax && mean > *step.meanMax);
    if (outside > 0)
        measured += QStringLiteral("; %1 outside [%2, %3]").arg(outside).arg(step.min).arg(step.max);
    if (meanOutside)
        measured += QStringLiteral("; mean outside its limits");
    end(outside > 0 || meanOutside ? StepResult::Outcome::Failed : StepResult::Outcome::Passed, measured);
}

void PlanRun::timedOut()
{
    const PlanStep &step = currentStep();
    switch (step.kind) {
    case PlanStep::Kind::Wait:
        end(StepResult::Outcome::Passed, QStringLiteral("waited %1 ms").arg(m_session.now() - current().startedMs));
        return;
    case PlanStep::Kind::Line:
        end(StepResult::Outcome::Failed, m_lastLine.isEmpty()
                                             ? QStringLiteral("no line within %1 ms").arg(step.timeoutMs)
                                             : QStringLiteral("last line \"%1\"").arg(m_lastLine));
        return;
    case PlanStep::Kind::Pin:
        end(StepResult::Outcome::Failed,
            m_lastLevel < 0 ? QStringLiteral("no report of pin %1 within %2 ms").arg(step.expectPin).arg(step.timeoutMs)
                            : QStringLiteral("pin %1 = %2").arg(step.expectPin).arg(m_lastLevel));
        return;
    case PlanStep::Kind::Analog:
        end(StepResult::Outcome::Failed, QStringLiteral("%1 of %2 readings within %3 ms")
                                             .arg(current().samples.size())
                                             .arg(step.samples)
                                             .arg(step.timeoutMs));
        return;
    }
}

void PlanRun::end(StepResult::Outcome outcome, const QString &measured)
{
    StepResult &result = current();
    result.outcome = outcome;
    result.measured = measured;
    result.elapsedMs = m_session.now() - result.startedMs;
    const int index = m_index;
    Q_EMIT stepFinished(index);
    // The next step begins from the event loop, never inside the session's delivery of an event.
    QMetaObject::invokeMethod(
        this,
        [this, index] {
            if (!m_running || m_index != index)
                return;
            if (m_lost || index + 1 >= int(m_plan.steps.size()))
                finish();
            else
                begin(index + 1);
        },
        Qt::QueuedConnection);
}

void PlanRun::finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_finished = true;
    m_deadline.stop();
    m_subscriptions.clear();
    disconnect(m_polled);
    // Monitoring the plan switched on goes off again; the rest stays as the plan left it.
    for (int pin = 1; pin < int(m_monitoredByRun.size()); ++pin) {
        if (m_monitoredByRun.test(std::size_t(pin)))
            m_session.setPinMonitored(pin, false);
    }
    m_polling.reset();
    m_elapsedMs = m_session.now() - m_startMs;
    Q_EMIT finished();
}
