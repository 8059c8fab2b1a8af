#pragma once

#include "records/calibration.h"
#include "session/session_event.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <map>
#include <span>

enum class RecordFormat { Text, Csv, Jsonl };

// Writes session events as records, one per line, in the one record schema that the runner, the trend window's
// recording, the journal and the network bridge share. Fields, by name (JSON keys and CSV columns alike):
//
//   time     local wall-clock time with milliseconds and UTC offset: 2026-12-07T10:15:02.125+01:00
//   t_ms     milliseconds since the writer's origin (the start of the run or the recording), monotonic
//   board    the board's serial number
//   kind     adc, pin, line, match, command, selected, open_failed, lost, back, closed, status, gap, poll,
//            alarm_raised, alarm_acknowledged, alarm_cleared; moment (the journal's: see moment())
//   channel  adc: the channel; gap: the one channel whose readings stopped   value  adc: the reading
//   pin      pin: the pin                level  pin: 1 high, 0 low
//   text     line, match, command, status: the text; open_failed: the driver's reason; gap: why;
//            poll: the channels and period in words
//   typed    command (JSON only): the text as typed, when the board received another (a character with no byte)
//   channels, period_ms   poll (JSON only): the channels a poll asks for, and how often
//   alarm, severity       alarm_* (JSON only): the alarm's name and severity (text has both, with what was seen)
//   scaled, unit          adc, with a calibration set: the reading in the channel's unit (CSV: two columns after
//                         text, in every row; nothing of them without a calibration)
//
//   csv    time,t_ms,board,kind,channel,pin,value,level,text   (after that header line; RFC 4180 quoting)
//   jsonl  {"time":"...","t_ms":1234,"board":"DEMO0001","kind":"adc","channel":2,"value":137}
//   text   1234 adc 2 137        1300 pin 5 1        1400 line hello board   (the board after t_ms when asked)
//
// Records are collected and handed to the file by flush(), so each appears without a system call per record.
// A write that fails (a closed pipe, a full disk) stops the writer: a file is cut back to its last whole
// record, and nothing more is written.
class RecordWriter
{
public:
    explicit RecordWriter(RecordFormat format = RecordFormat::Csv);
    ~RecordWriter();

    // Creates the file (replacing one of that name, or adding to its end when `append`); false with the
    // system's reason. A file added to that ends without a line end (cut short by a power loss) gets one first,
    // so the next record starts on a line of its own.
    bool open(const QString &path, QString *error, bool append = false);
    // Adds to the end of a file kept to its owner, never through a symbolic link (the journal's files). Another
    // process may add to the same file: each flush is one whole-line append, the size is the file's own.
    bool openShared(const QString &path, QString *error);
    // Writes to a stream that is already open (standard output); it is not closed here.
    bool open(std::FILE *stream);
    // Flushes and closes.
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    RecordFormat format() const { return m_format; }
    // t_ms counts from this monotonic time.
    void setOrigin(qint64 monoMs) { m_originMs = monoMs; }
    // The text format names the board after t_ms (several boards in one run).
    void setBoardInText(bool on) { m_boardInText = on; }
    // JSON Lines also carry "mono_ms", the session's monotonic time (the journal's records).
    void setMonotonicField(bool on) { m_monotonicField = on; }

    // Readings are written in units as well (scaled, unit) from now on; the identity writes them as before. The
    // calibration of a board of its own, when it has one, goes for that board's readings instead.
    void setCalibration(const BoardCalibration &calibration);
    void setCalibration(const QString &board, const BoardCalibration &calibration);

    // The CSV header; nothing in the other formats.
    void header();
    // The record of an event that has one (every kind but log lines, analog polls and set-up changes); false
    // when it has none.
    bool record(const SessionEvent &event);
    // The same with the board named here (the event's session may be on another thread by now).
    bool record(const SessionEvent &event, QStringView board);
    // A received line that met an expectation.
    void match(const SessionEvent &line);
    // What a poll asks for from now on (its CommandSent's channels and period), instead of each request.
    void poll(const SessionEvent &request, QStringView board);
    // Readings, pin levels and received lines of one board (a poll's answers, what reads brought) as one JSON line
    // of kind "moment", in order, with the first one's stamp (the journal's form):
    //   {"time":...,"kind":"moment","events":[["adc",[1,2],[251,226]],["pin",3,1],["at",100],["line","ok"]]}
    // Readings of one stamp share an event, their channels then their values (in units, each has its own:
    // ["adc",8,200,5.00,"V"]); a reading or level followed by the line that said it in just these words is one
    // event marked 1 (["pin",3,1,1]: the level, and the line "pin 3 1"); ["at",N] says that the events after it came
    // N ms after those before it (["at",N,W]: and W ms on the wall clock, where that differs).
    // `events` are all momentable(), their monotonic stamps never earlier than the one before.
    void moment(std::span<const SessionEvent> events, QStringView board);
    static bool momentable(const SessionEvent &event);
    // A received line longer than this is a record of its own, so that a moment's line stays short.
    static constexpr qsizetype kLongestMomentText = 256;
    // A line of the caller's own (a received line `send` prints), written with the records; not counted.
    void line(const QByteArray &bytes);

    // Hands over what was collected instead of writing it: records that go somewhere else than a file.
    QByteArray takePending();
    // Writes what was collected; false once writing has failed (see error()).
    bool flush();
    bool failed() const { return m_failed; }
    // Failed because the reader of a pipe went away (a `| head` that has seen enough), which is no error.
    bool readerGone() const { return m_failed && m_errorNumber == EPIPE; }
    QString error() const { return m_error; }
    // Records collected so far (the header not counted), and those written to the file.
    qint64 count() const { return m_count; }
    qint64 written() const { return m_written; }
    // Bytes of the file: what was there when it was opened and what has been written since.
    qint64 fileSize() const { return m_writtenBytes; }
    // Bytes collected and not written yet.
    qint64 pendingBytes() const { return m_buffer.size(); }

    // The kind name of an event's record; null when it has none.
    static const char *kindName(SessionEvent::Kind kind);

private:
    struct Fields {
        const char *kind = nullptr;
        int channel = 0;
        int pin = 0;
        std::int32_t value = 0;
        bool hasValue = false;
        QStringView text;
        bool hasText = false;
        QStringView typed;
        std::int32_t pollChannels = 0;
        int pollPeriodMs = 0;
        QStringView alarm;
        const char *severity = nullptr;
    };
    // The scaled reading's fields after the rest, when calibrated.
    void appendScaled(const Fields &fields);
    void append(const EventStamp &stamp, QStringView board, const Fields &fields);
    const QByteArray &boardField(QStringView board);
    void appendTime(qint64 wallMs);
    // A JSON record's fields up to its board ("{"time":...,"board":"X""), made once per stamp and board.
    const QByteArray &jsonPrefix(const EventStamp &stamp, QStringView board);
    void fail(const QString &reason);
    // After an open: a file added to whose last line was cut short gets a line end first.
    void endCutLine();

    RecordFormat m_format;
    QFile m_file;
    QString m_path; // the file's, for what a failure says
    QByteArray m_buffer;
    qint64 m_originMs = 0;
    bool m_boardInText = false;
    bool m_monotonicField = false;
    bool m_scaled = false; // a calibration is set
    BoardCalibration m_calibration;
    std::map<QString, BoardCalibration> m_boardCalibrations;
    // The calibration of the board of the record being written.
    QString m_calibrationBoard;
    const BoardCalibration *m_currentCalibration = &m_calibration;
    void chooseCalibration(QStringView board);
    qint64 m_count = 0;
    qint64 m_pendingRecords = 0;
    qint64 m_written = 0;
    qint64 m_writtenBytes = 0;
    bool m_shared = false; // openShared(): others may add to the file too
    bool m_failed = false;
    int m_errorNumber = 0;
    QString m_error;
    // The local time of one second, formatted once: records come many to a second.
    qint64 m_cachedSecond = std::numeric_limits<qint64>::min();
    QByteArray m_cachedPrefix; // yyyy-MM-ddTHH:mm:ss
    QByteArray m_cachedOffset; // +01:00
    QString m_cachedBoard;
    QByteArray m_cachedBoardField; // the board as this format writes it
    quint64 m_boardGeneration = 0; // counts the changes of the cached board
    // A JSON record's fields up to its board, for the stamp and board they were made for.
    QByteArray m_prefix;
    EventStamp m_prefixStamp{-1, -1};
    quint64 m_prefixBoardGeneration = ~quint64(0);
    qint64 m_prefixOrigin = 0;
};

// A field quoted as RFC 4180 has it: in double quotes, each double quote doubled.
QByteArray csvQuoted(QStringView text);
// A CSV field as the records write it: quoted only when it must be.
void appendCsvField(QByteArray &out, QStringView text);
// A JSON string literal, quotes included; control characters escaped.
QByteArray jsonQuoted(QStringView text);
void appendJsonQuoted(QByteArray &out, QStringView text);
// A poll record's words: "adc 1 2 8 every 100 ms".
QString pollText(std::int32_t channels, int periodMs);
