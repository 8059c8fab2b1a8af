#pragma once

#include "plans/test_plan.h"
#include "records/calibration.h"
#include "session/event_stream.h"
#include "session/poller.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <bitset>
#include <vector>

class BoardSession;
struct SessionEvent;

// What became of one step.
struct StepResult {
    enum class Outcome { Pending, Running, Passed, Failed, Error, Skipped };

    Outcome outcome = Outcome::Pending;
    QString expected; // what the step looked for, in words
    QString measured; // what it found
    qint64 startedMs = 0;
    qint64 elapsedMs = 0;
    std::vector<int> samples; // analog steps: every reading, in order
};

QString outcomeText(StepResult::Outcome outcome); // "PASS", "FAIL", "ERROR", "SKIP", "RUN", ""
// What a step looks for, in words: "pin 10 = 1 within 500 ms".
QString stepExpectation(const PlanStep &step);

// Why a plan cannot be judged against a board's calibration: its first analog step whose limits are in a unit the
// channel does not read in ("step 4: the limits are in V, but channel 8 reads in counts"); empty when it can.
QString unitMismatch(const TestPlan &plan, const BoardCalibration &calibration);

// Runs a test plan on a board session, one step after another, driven by the session's poller: each poll looks at
// what the board said and at the time on the session's clock. Commands go through the session as the windows
// send them (typed commands logged with ">", pin commands level first, then direction), so the log, the windows
// and a journal see them. Pin monitoring the run switched on is switched off again at its end; everything else is
// left as the plan left it.
//
// A board lost ends the run: the step running and those after it are errors. stop() skips what has not ended.
class PlanRun : public QObject
{
    Q_OBJECT

public:
    PlanRun(BoardSession &session, TestPlan plan, QObject *parent = nullptr);
    ~PlanRun() override;

    // How often the run has the board polled (100 ms unless set before start()).
    void setPollInterval(std::chrono::milliseconds interval) { m_pollInterval = interval; }
    // The board's calibration, for steps whose limits are in a unit (checked first with unitMismatch()).
    void setCalibration(const BoardCalibration &calibration) { m_calibration = calibration; }
    // Starts the first step now; the board is polled from now to the end of the run, at least every poll interval.
    void start();
    // Skips the step running and every later one; the run ends at once.
    void stop();

    bool isRunning() const { return m_running; }
    bool isFinished() const { return m_finished; }
    bool boardLost() const { return m_lost; }
    const TestPlan &plan() const { return m_plan; }
    const std::vector<StepResult> &results() const { return m_results; }
    QDateTime startedAt() const { return m_startedAt; }
    qint64 elapsedMs() const { return m_elapsedMs; }
    QString board() const { return m_board; }

    int count(StepResult::Outcome outcome) const;
    bool passed() const;
    // "PASS: 4 of 4 steps passed" or "FAIL: 3 of 4 steps passed (1 failed, 0 skipped)".
    QString verdictLine() const;

Q_SIGNALS:
    void stepStarted(int index);
    void stepFinished(int index);
    void finished();

private:
    void begin(int index);
    void beginLine(const PlanStep &step, StepResult &result);
    void beginPin(const PlanStep &step, StepResult &result);
    void beginAnalog(const PlanStep &step, StepResult &result);
    void onEvent(const SessionEvent &event);
    void boardWasLost();
    void onPolled();
    // Ends the step running when its time is up; true when it did.
    bool checkDeadline();
    void settleAnalog();
    // An analog step whose limits are in a unit: its readings judged in the channel's unit.
    void settleUnits();
    void end(StepResult::Outcome outcome, const QString &measured = QString());
    void timedOut();
    void finish();
    StepResult &current() { return m_results[std::size_t(m_index)]; }
    const PlanStep &currentStep() const { return m_plan.steps[std::size_t(m_index)]; }

    BoardSession &m_session;
    BoardCalibration m_calibration;
    TestPlan m_plan;
    std::vector<StepResult> m_results;
    std::vector<EventStream::Subscription> m_subscriptions;
    QMetaObject::Connection m_polled;
    QTimer m_deadline; // wakes the run when a step's time is up, between polls
    std::bitset<19> m_monitoredByRun;
    QString m_board;
    QDateTime m_startedAt;
    qint64 m_startMs = 0;
    qint64 m_elapsedMs = 0;
    qint64 m_deadlineMs = 0;
    int m_index = -1;
    int m_lastLevel = -1; // pin steps: the level last reported of the expected pin, -1 none
    QString m_lastLine;   // line steps: the last line received
    bool m_running = false;
    bool m_finished = false;
    bool m_lost = false;
    std::chrono::milliseconds m_pollInterval = Poller::kDefaultInterval;
    PollLease m_polling;
};
