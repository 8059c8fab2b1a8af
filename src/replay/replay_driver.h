#pragma once

#include "device/driver.h"
#include "device/played_feed.h"
#include "records/journal_files.h"
#include "records/journal_line.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class JournalFileReader;

// What to play back: the journal's folder, its boards and a span of time.
struct ReplayOptions {
    QString folder;
    QStringList boards;            // every board with a journal in the folder when empty
    std::optional<qint64> sinceMs; // ms since the epoch, inclusive
    std::optional<qint64> untilMs; // ms since the epoch, inclusive
    double speed = 1;              // times the recorded pace; kFastest: as fast as the readers take it
    bool paused = false;           // starts paused at the span's start
};

// A journal played back behind the driver interface (--driver=replay --journal DIR): each board with a journal in
// the folder is listed as an attached board, and an open board delivers the lines its journal says it sent, as
// received bytes, at their recorded times on one timeline for all boards. Sessions interpret them as they
// interpret any board's, so every window and consumer works unchanged; what the journal says happened besides the
// bytes (a board lost and back, a gap, what a poll asked for, a command sent) the session learns through the
// PlayedFeed. Nothing is written to a board.
//
// Which bytes: a "line" record is a line the board sent; a reading ("adc") or pin level ("pin") whose line was
// not kept beside it (a reading of a ticked channel is kept as its reading only) is said again as the board says
// it ("adc 2 137"). Plain (.jsonl) and compressed (.jsonl.gz) days are read alike, each from any moment through
// an index built once per file in memory (JournalFileReader).
//
// Bad journals: a line that is not a whole record (cut short, not JSON, a field of the wrong type or out of range)
// or whose time goes back before the board's last record is skipped and counted (skippedLines()); the rest plays.
//
// The timeline: the position runs from the span's start at `speed` times the recorded pace while playing; a
// board delivers what is recorded up to the position. At kFastest each board delivers as fast as it is read, no
// further than kFastestLeadMs ahead of the board furthest behind, and the position follows what was played.
class ReplayDriver : public Driver, public PlayedFeed
{
public:
    using Clock = std::function<qint64()>; // milliseconds since an arbitrary start

    static constexpr double kFastest = 0;
    static constexpr qint64 kFastestLeadMs = 1000;

    // Without a clock the timeline runs on the system's monotonic clock.
    explicit ReplayDriver(ReplayOptions options, Clock clock = {});
    ~ReplayDriver() override;

    // The boards found (empty: nothing to play), and why there are none.
    QStringList boards() const;
    QString problem() const { return m_problem; }

    // Driver.
    std::uint32_t listDeviceCount(std::uint32_t *count) override;
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override;
    std::intptr_t createFile(const char *serial) override;
    bool closeHandle(std::intptr_t handle) override;
    bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) override;
    std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                            std::uint32_t *events) override;
    bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) override;
    QString openFailureReason() const override { return m_openFailure; }
    PlayedFeed *playedFeed() override { return this; }

    // PlayedFeed.
    Moment playedMoment() const override { return m_played; }
    bool takeHappening(std::intptr_t handle, Happening &happening) override;
    QString refusal() const override;

    // The timeline.
    qint64 spanStartMs() const { return m_spanStart; }
    // The span's end: the last record of the last file when no --until says it (which reads that file's index).
    qint64 spanEndMs();
    // The moment played now, in ms since the epoch.
    qint64 positionMs();
    // The same moment on the clock events are stamped with (the trend's "now").
    qint64 positionMonoMs();
    bool isPlaying() const { return m_playing; }
    void play();
    void pause();
    double speed() const { return m_speed; }
    void setSpeed(double speed);
    // Goes to a moment of the span: every open board goes on from its first record at or after it.
    void seek(qint64 wallMs);
    // Every open board has played all its span (nothing open: the position is at the span's end).
    bool isFinished();

    // Lines skipped so far: not whole records, or times going back.
    qint64 skippedLines() const { return m_skipped; }

    // The moments of the span where something worth stepping to was recorded: a command sent, a gap, a board lost
    // (read from the journal when asked; every board's).
    enum class Mark { Command, Gap, Lost };
    // The first such moment after `wallMs` (forward) or before it; nothing when there is none.
    std::optional<qint64> neighbourMark(qint64 wallMs, bool forward);
    // Starts reading the marks now, beside the playing (the Replay window: its steps and seeks come sooner).
    void prepareMarks();

private:
    struct Item {
        enum class Kind { Bytes, Lost, Back, Happening };
        Kind kind = Kind::Bytes;
        Moment at;
        QByteArray bytes;
        Happening happening;
    };
    struct Board;

    Board *boardOf(std::intptr_t handle, bool *dead);
    Board *boardNamed(const QString &serial);
    std::size_t indexOf(const Board &board) const;
    // Makes `board.next` the board's next item; false at the end of its span.
    bool peek(Board &board);
    // The next record of the board's span (decoded), skipping and counting bad lines; false at the end.
    bool nextRecord(Board &board, JournalLine &record);
    // The next record, a moment's events one by one.
    bool readLine(Board &board, JournalLine &record);
    bool readFileLine(Board &board, JournalLine &record);
    Moment momentOf(Board &board, const JournalLine &record);
    void seekBoard(Board &board, qint64 wallMs);
    // A board lost as the journal says: listed again once its return is played.
    void pullLost(Board &board);
    bool due(Board &board, const Moment &at);
    qint64 frontier();
    void reanchor();
    qint64 clockMs() const;
    // The marks (and the polls) are read once, through the whole span: by a thread of its own once
    // prepareMarks() asked for them, else when first needed.
    void loadMarks();
    void scanMarks();

    ReplayOptions m_options;
    Clock m_clock;
    QElapsedTimer m_elapsed;
    std::vector<std::unique_ptr<Board>> m_boards;
    QString m_problem;
    QString m_openFailure;
    std::intptr_t m_nextHandle = 1;
    Moment m_played;
    qint64 m_skipped = 0;
    // The timeline.
    qint64 m_spanStart = 0;
    std::optional<qint64> m_spanEnd;
    bool m_playing = true;
    double m_speed = 1;
    qint64 m_anchorPosition = 0; // the position at the anchor ...
    qint64 m_anchorClock = 0;    // ... and the clock's time then
    qint64 m_fastestPosition = 0;
    // The marks, once read: (time, kind) in time order.
    bool m_marksLoaded = false;
    std::thread m_marksReader;
    std::atomic<bool> m_stopMarks{false};
    std::vector<std::pair<qint64, Mark>> m_marks;
    // What each poll asked for, by board: a seek starts with the channels ticked as they were then.
    struct PollMark {
        qint64 wallMs = 0;
        std::int32_t channels = 0;
        int periodMs = 0;
    };
    std::vector<std::vector<PollMark>> m_polls;
    bool m_started = false; // a board was opened: the timeline runs from then
};

// "1", "2", "10", "100" or "max" (kFastest); nothing for anything else.
std::optional<double> parseReplaySpeed(const QString &text);
// The speed as the window and the runner say it: "1×", "max".
QString replaySpeedName(double speed);
