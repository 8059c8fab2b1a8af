#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What to read back from a journal: one board's records within a time span, of some kinds.
struct JournalQuery {
    QString folder;
    QString board;
    std::optional<qint64> sinceMs; // ms since the epoch, inclusive
    std::optional<qint64> untilMs; // ms since the epoch, inclusive
    QStringList kinds;             // all when empty
};

struct JournalRecord {
    QByteArray line; // as it stands in the file, without its line end
    QJsonObject fields;
    qint64 wallMs = 0;
};

// Hands each record of the query to `each` in time order, across the board's files, until `each` returns false.
// A line that is not a whole record (one cut short by a power loss, one that is not JSON, one whose numbers are
// not whole numbers within their range: a channel 1 to 8, a pin 1 to 18, a level 0 or 1) is skipped and counted in
// `skipped`. False when the board has no journal there.
bool readJournal(const JournalQuery &query, const std::function<bool(const JournalRecord &)> &each,
                 qint64 *skipped = nullptr);

// Each board with a journal in `folder`: its first and last record's time and what its files take on disk.
struct JournalBoard {
    QString board; // as its folder is named
    qint64 firstMs = -1;
    qint64 lastMs = -1;
    qint64 bytes = 0;
};
QList<JournalBoard> journalBoards(const QString &folder);

// A time given to the reader: ISO 8601 (2026-12-07T10:15:00, with or without milliseconds and offset, or a
// date alone for its start), or a time before `nowMs`: -30s, -10m, -2h, -1d. Nothing when it is neither.
std::optional<qint64> journalTime(const QString &text, qint64 nowMs);

// The record as the communications log would say it, after its local time: "2026-12-07 10:15:02.125  received : ok".
// Control characters are shown escaped (\r, \n, \t, \x1b), never sent to the terminal as they are.
QString journalTextLine(const JournalRecord &record);
// The record as a CSV row of the one schema (header: time,t_ms,board,kind,channel,pin,value,level,text); every text
// field quoted as RFC 4180 says when it must be.
QByteArray journalCsvRow(const JournalRecord &record);
