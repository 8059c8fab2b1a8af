#pragma once

#include <QAnyStringView>
#include <QByteArrayView>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// One journal line decoded into what a replay needs of it, without a JSON document per line: the journal's own
// lines (one flat object each, written by RecordWriter) take a direct path; any other form of the same object (keys
// in another order, spaces, escapes, numbers written as 1.0) is read by the JSON parser and the same checks as
// `vantrel-cli journal` (wellFormed), so both readers take and refuse the same lines.
struct JournalLine {
    enum class Kind : std::uint8_t {
        Adc,
        Pin,
        Line,
        Match,
        Command,
        Selected,
        OpenFailed,
        Lost,
        Back,
        Closed,
        Status,
        Gap,
        Poll,
        Moment, // several events of one stamp: `events`
        Other,  // a kind this program does not write: kept, played as nothing
    };

    Kind kind = Kind::Other;
    qint64 wallMs = 0; // "time", ms since the epoch
    qint64 monoMs = 0; // "mono_ms" when hasMono
    bool hasMono = false;
    int channel = 0;        // 0: none
    int pin = 0;            // 0: none
    std::int32_t value = 0; // adc
    bool hasValue = false;
    int level = -1;            // pin: 0 or 1; -1: none
    QString text;              // "text", empty when none
    std::int32_t channels = 0; // poll: a bit per channel
    int periodMs = 0;          // poll
    // moment: its readings, pin levels and lines in order, each with the moment's times
    std::vector<JournalLine> events;
};

// Decodes one line (without its line end). False when it is not a whole record: not a JSON object, a field of the
// wrong type or out of range (see wellFormedJournalFields), or a "time" that is not a time. `line.text` keeps its
// room between calls.
bool decodeJournalLine(QByteArrayView line, JournalLine &out);

// The slow road alone (the JSON parser); decodeJournalLine takes it for every line its direct path does not read.
// Exposed so that the fuzzer can hold the two to the same answers.
bool decodeJournalLineSlowly(QByteArrayView line, JournalLine &out);

// The fields a record may have, each of its type and within its range: a channel 1 to 8, a pin 1 to 18, a level 0
// or 1, whole numbers within range, and a moment's every event. A line that breaks one is not a record. A moment's
// records are left in `momentRecords` when it is given: they are read once.
bool wellFormedJournalFields(const QJsonObject &fields, QList<QJsonObject> *momentRecords = nullptr);

// A moment's events (["adc",C,V], ["adc",[C,...],[V,...]], ["adc",C,V,SCALED,"UNIT"], ["pin",P,L],
// ["line","TEXT"]) as the records they stand for, each with the moment's time, t_ms, mono_ms and board, later by
// the sum of the ["at",N] before it; nothing when one of them is not such an event, or when none is.
std::optional<QList<QJsonObject>> journalMomentRecords(const QJsonObject &moment);

// A time as the records write it: with its offset, +00:00 rather than Z.
QString journalTimeText(const QDateTime &time);

// A record's "time" (2026-12-07T10:15:02.125+01:00, or any ISO 8601 form Qt reads) in ms since the epoch; -1 when
// it is not a time.
qint64 journalRecordTime(QStringView text);

// The kind named by a record's "kind".
JournalLine::Kind journalKind(QAnyStringView name);
