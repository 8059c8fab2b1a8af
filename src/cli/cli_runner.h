#pragma once

#include "cli/cli_options.h"
#include "records/record_writer.h"
#include "session/board_session.h"
#include "session/poller.h"

#include <QDeadlineTimer>
#include <QObject>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

class Driver;
class Journal;
class PlanRun;
class QEventLoop;

// The headless front end: runs one vantrel-cli command (list, send, monitor, journal or test) to its end, on one board
// session per board named, all on the one driver. Records go to `out`, errors to `err`, one line each. The boards are
// opened as a selection opens them and always closed at the end.
class CliRunner : public QObject
{
    Q_OBJECT

public:
    CliRunner(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err);
    ~CliRunner() override;

    // Runs the command and returns the exit code; while it waits, it runs an event loop in which each session's
    // poller polls its board every kPollMs.
    int run();
    // Ends a run in progress as a signal does (SIGINT by default): monitoring is switched off and the boards closed.
    // `monitor` without --expect then ends with 0, `monitor --expect` not yet met with 1, anything else with 130
    // (SIGINT) or 143 (SIGTERM, SIGHUP).
    void requestStop(int signal = 2);

    static constexpr int kPollMs = 100;

    // Records written so far.
    qint64 records() const { return m_records.count(); }

private:
    enum class Outcome { Done, Matched, Stopped, Lost, Expired, OutputClosed };

    // One board of the run.
    struct Board {
        QString serial;
        std::unique_ptr<BoardSession> session;
        EventStream::Subscription subscription;
        PollLease polling;
        bool matched = false;
    };

    int list();
    int send();
    int monitor();
    int journal();
    int test();
    int serve();
    void printStep(const PlanRun &run, int index);
    void keepJournal();
    bool openBoards();
    bool sendSurvivingLoss(Board &board, const QString &text);
    Outcome pollUntil(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn = nullptr);
    // How the wait ends now; nothing while it goes on.
    std::optional<Outcome> check(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn) const;
    void sessionEvent(Board &board, const SessionEvent &event);
    int finish(int exitCode);
    int interruptedExit() const;
    void error(const QString &text);
    Board *lostBoard() const;

    Driver &m_driver;
    CliOptions m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    RecordWriter m_records;
    std::unique_ptr<Journal> m_journal;
    std::vector<std::unique_ptr<Board>> m_boards;
    QEventLoop *m_loop = nullptr;
    PlanRun *m_planRun = nullptr;
    bool m_stopRequested = false;
    int m_stopSignal = 0;
};
