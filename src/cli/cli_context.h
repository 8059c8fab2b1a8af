#pragma once

#include "cli/cli_options.h"
#include "host/board_host.h"
#include "records/record_writer.h"

#include <QDeadlineTimer>
#include <QObject>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

class Driver;
class QEventLoop;
class ReplayDriver;

// What every vantrel-cli command stands on: the options, the board host with the boards named, the records written
// to `out`, errors said on `err` (one line each), the wait for the boards, and the end of the run (the boards closed,
// the journal written, output that failed said).
class CliContext : public QObject
{
    Q_OBJECT

public:
    CliContext(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err);
    ~CliContext() override;

    // One board of the run.
    struct Board {
        QString serial;
        BoardSession *session = nullptr;
        EventStream::Subscription subscription;
        PollLease polling;
        bool matched = false;
    };

    // How a wait for the boards ends.
    // Ended: a replay played its whole span. Alarmed: an alarm of --fail-on-alarm's severity was raised.
    enum class Outcome { Done, Matched, Stopped, Lost, Expired, OutputClosed, Ended, Alarmed };

    // How often the runner's boards are polled.
    static constexpr int kPollMs = 100;

    const CliOptions &options() const { return m_options; }
    BoardHost &host() { return m_host; }
    Driver &driver() { return m_driver; }
    // The journal played back, on --driver=replay; null otherwise.
    ReplayDriver *replay() const { return m_replay; }
    RecordWriter &records() { return m_records; }
    std::vector<Board> &boards() { return m_boards; }

    // Keeps the journal asked for (send, monitor, test), on every board opened from now on.
    void keepJournal();
    // Opens every board named, each polled every `pollMs` (none: the board is not polled for the run); false, said,
    // when one cannot be opened (then none is).
    bool openBoards(std::optional<int> pollMs);
    // Polls the boards (the event loop runs) until the deadline, every board matched (when asked), a board lost
    // (unless reconnecting), the board waited for back, the output closed, or a stop.
    Outcome pollUntil(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn = nullptr);
    Board *lostBoard();
    // An alarm that ends the run was raised: the wait under way ends (Outcome::Alarmed).
    void alarmEndsRun(const QString &what);
    const QString &endingAlarm() const { return m_endingAlarm; }

    // A stop was asked (a signal): the wait under way ends, and whatever runs is told.
    void requestStop(int signal);
    bool stopRequested() const { return m_stopRequested; }
    // Told when a stop arrives (a plan run stops).
    std::function<void()> onStop;
    // The exit code of a run ended by a stop: 130 for SIGINT (Ctrl+C), 143 otherwise.
    int interruptedExit() const;

    // Closes the boards, writes what is waiting and returns the exit code (5 when the output failed).
    int finish(int exitCode);
    void error(const QString &text);
    std::FILE *errorStream() const { return m_err; }

private:
    std::optional<Outcome> check(QDeadlineTimer deadline, bool stopOnMatch, Board *waitingForReturn);

    Driver &m_driver;
    ReplayDriver *m_replay = nullptr;
    CliOptions m_options;
    std::FILE *m_err;
    RecordWriter m_records;
    BoardHost m_host;
    std::vector<Board> m_boards;
    QEventLoop *m_loop = nullptr;
    bool m_stopRequested = false;
    QString m_endingAlarm;
    int m_stopSignal = 0;
};
