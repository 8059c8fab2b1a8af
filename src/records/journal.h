#pragma once

#include "records/calibration.h"
#include "session/event_stream.h"
#include "session/session_event.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class BoardSession;

// Where and how much a journal keeps.
struct JournalSettings {
    QString folder;                              // one folder per board below it
    qint64 maxFileBytes = 100LL * 1024 * 1024;   // a new file of the day past this
    qint64 maxTotalBytes = 1024LL * 1024 * 1024; // the oldest files go past this, all boards together
    int maxAgeDays = 90;                         // files of older days go
    bool everyPoll = false; // every poll's requests as commands, not one poll record each time they change
};

// The folder a journal is kept in unless told otherwise: $XDG_DATA_HOME/vantrel-control/journal.
QString defaultJournalFolder();

// The journal: every event of one or more board sessions that says what a board said or was told (commands,
// received lines, readings, pin levels, selections, failed opens, losses and returns, status texts), kept on
// disk as JSON Lines in the one record schema, with the board, the local time and the monotonic time:
// FOLDER/SERIAL/2026-12-07.jsonl, a new file of the day (2026-12-07.1.jsonl, ...) past maxFileBytes, files 0600
// in folders 0700. The oldest files go past maxTotalBytes or maxAgeDays.
//
// Events are only copied on the session's thread (what a read brought as its bytes, not event by event); a thread of
// its own formats and writes them, at least once a second and at once after every command sent, so a process killed
// loses at most the last second. A write that fails (a full disk, a folder that cannot be written) stops the journal
// and says why once (stopped()); the sessions go on. start() again retries.
class Journal : public QObject
{
    Q_OBJECT

public:
    explicit Journal(JournalSettings settings, QObject *parent = nullptr);
    ~Journal() override;

    // Keeps the events of this session (until the journal or the session goes).
    void attach(BoardSession &session);

    // Starts keeping; false with the reason when the folder cannot be made or written.
    bool start(QString *error = nullptr);
    // Writes what is waiting, then stops.
    void stop();
    bool isRunning() const;
    const JournalSettings &settings() const { return m_settings; }

    // Hands everything waiting to the operating system now and waits until it has (tests and the end of a run).
    void flush();

    // The board's readings are kept in units (scaled, unit) from its next event on; the identity keeps counts only.
    void setCalibration(const QString &serial, const BoardCalibration &calibration);

    // Whether an event of this kind is kept.
    static bool keeps(SessionEvent::Kind kind);

    // One event as the journal keeps it until it is written; what the journal's two threads share.
    struct Item;
    struct Shared;

Q_SIGNALS:
    // Writing failed and the journal stopped; emitted once, on the thread that made the journal.
    void stopped(const QString &reason);

private:
    void take(const SessionEvent &event);
    // Whether a command is kept: sent, and (unless every poll is wanted) not a poll's request like the last one.
    bool keepsCommand(const SessionEvent &event, int board, bool *pollSummary);
    int boardIndex(const QString &board);
    // Hands the events taken on this thread to the writer; `now` wakes it at once.
    void handOver(bool now);
    void run();
    void reportFailure(const QString &reason);

    JournalSettings m_settings;
    std::vector<EventStream::Subscription> m_subscriptions;
    std::vector<Item> m_taken; // on the sessions' thread, not yet handed over
    QString m_takenTexts;      // ... and their texts
    QByteArray m_takenBytes;   // ... and the bytes of their reads
    QStringList m_boards;      // every board named so far, by the index the items carry
    int m_lastBoard = -1;
    struct PollSeen {
        std::int32_t channels = 0;
        int periodMs = 0;
    };
    std::vector<PollSeen> m_lastPoll; // by board: what its last poll record said
    bool m_keeping = false;           // started and not stopped here
    QTimer m_handOver;                // when events stop coming
    QElapsedTimer m_sinceWake;        // while they come
    std::shared_ptr<Shared> m_shared;
    // A QThread, not a std::thread: the writer's files are QObjects, and Qt cleans up the data it keeps for a thread
    // it started itself (a std::thread that used them crashed at its end on Windows).
    std::unique_ptr<QThread> m_thread;
    qint64 m_originMs = 0; // t_ms counts from the start
    std::map<QString, BoardCalibration> m_calibrations;
};
