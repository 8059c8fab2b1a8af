#include "records/journal_reader.h"

#include "records/journal_files.h"
#include "records/journal_gzip.h"
#include "records/journal_line.h"
#include "records/record_writer.h"
#include "records/safe_text.h"
#include "session/session_texts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>

namespace {

qint64 recordTime(const QJsonObject &fields)
{
    return journalRecordTime(fields.value(QStringLiteral("time")).toString());
}

QString field(const QJsonObject &fields, const char *name)
{
    return fields.value(QLatin1String(name)).toString();
}

// A poll record's channels and period in words; only checked records reach here.
QString pollWords(const QJsonObject &fields)
{
    std::int32_t channels = 0;
    for (const QJsonValue channel : fields.value(QStringLiteral("channels")).toArray())
        channels |= 1 << int(channel.toDouble());
    return pollText(channels, int(fields.value(QStringLiteral("period_ms")).toDouble()));
}

QString number(const QJsonObject &fields, const char *name)
{
    // Only whole numbers within range reach here (wellFormed()).
    const QJsonValue value = fields.value(QLatin1String(name));
    return value.isDouble() ? QString::number(qint64(value.toDouble())) : QString();
}

// A record as a line of its own, its fields in the order the records write them.
QByteArray recordLine(const QJsonObject &fields)
{
    QByteArray line = "{";
    for (const char *key :
         {"time", "t_ms", "mono_ms", "board", "kind", "channel", "pin", "value", "level", "text", "scaled", "unit"}) {
        const QJsonValue value = fields.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        if (line.size() > 1)
            line += ',';
        // The value as JSON writes it: the one element of an array, brackets taken off.
        const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        line += '"' + QByteArray(key) + "\":" + array.mid(1, array.size() - 2);
    }
    return line + '}';
}

} // namespace

bool readJournal(const JournalQuery &query, const std::function<bool(const JournalRecord &)> &each, qint64 *skipped)
{
    qint64 bad = 0;
    const auto done = [&bad, skipped](bool found) {
        if (skipped)
            *skipped = bad;
        return found;
    };
    enum class Offered { Taken, Enough };
    const auto offer = [&](const QJsonObject &fields, QByteArray line) {
        JournalRecord record;
        record.fields = fields;
        record.wallMs = recordTime(record.fields);
        if (record.wallMs < 0) {
            ++bad;
            return Offered::Taken;
        }
        if ((query.sinceMs && record.wallMs < *query.sinceMs) || (query.untilMs && record.wallMs > *query.untilMs))
            return Offered::Taken;
        if (!query.kinds.isEmpty() && !query.kinds.contains(field(record.fields, "kind")))
            return Offered::Taken;
        record.line = std::move(line);
        return each(record) ? Offered::Taken : Offered::Enough;
    };
    const QList<JournalFile> files = journalFiles(journalBoardFolder(query.folder, query.board));
    if (files.isEmpty())
        return done(false);
    // Files of days wholly outside the span are not opened (a day in any zone lies within a day either side).
    const auto dayOf = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).date();
    };
    for (const JournalFile &file : files) {
        if (query.sinceMs && file.day < dayOf(*query.sinceMs).addDays(-1))
            continue;
        if (query.untilMs && file.day > dayOf(*query.untilMs).addDays(1))
            continue;
        JournalLines lines;
        if (!lines.open(file.path))
            continue;
        QByteArray line;
        bool cut = false;
        for (;;) {
            // A line without its end was cut short; so is one that is not a whole object.
            if (!lines.next(line, &cut)) {
                bad += cut ? 1 : 0;
                break;
            }
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            QList<QJsonObject> events;
            if (error.error != QJsonParseError::NoError || !document.isObject() ||
                !wellFormedJournalFields(document.object(), &events)) {
                ++bad;
                continue;
            }
            const QJsonObject fields = document.object();
            // A moment's events are read as the records they stand for.
            if (field(fields, "kind") == QLatin1String("moment")) {
                for (const QJsonObject &event : events) {
                    if (offer(event, recordLine(event)) == Offered::Enough)
                        return done(true);
                }
                continue;
            }
            if (offer(fields, std::move(line)) == Offered::Enough)
                return done(true);
        }
    }
    return done(true);
}

QList<JournalBoard> journalBoards(const QString &folder)
{
    QList<JournalBoard> boards;
    const QDir root(folder);
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QList<JournalFile> files = journalFiles(root.filePath(name));
        if (files.isEmpty())
            continue;
        JournalBoard board;
        board.board = name;
        for (const JournalFile &file : files)
            board.bytes += file.size;
        JournalQuery query;
        query.folder = folder;
        query.board = name;
        // The first record, then the last one of the last file.
        readJournal(query, [&board](const JournalRecord &record) {
            board.firstMs = record.wallMs;
            return false;
        });
        query.sinceMs = QDateTime(files.last().day.addDays(-1), QTime(0, 0)).toMSecsSinceEpoch();
        readJournal(query, [&board](const JournalRecord &record) {
            board.lastMs = std::max(board.lastMs, record.wallMs);
            return true;
        });
        boards.append(board);
    }
    return boards;
}

std::optional<qint64> journalTime(const QString &text, qint64 nowMs)
{
    static const QRegularExpression relative(QStringLiteral("^-(\\d{1,9})([smhd])$"));
    if (const QRegularExpressionMatch match = relative.match(text); match.hasMatch()) {
        const qint64 amount = match.captured(1).toLongLong();
        const QChar unit = match.captured(2).front();
        const qint64 unitMs = unit == u's' ? 1000 : unit == u'm' ? 60'000 : unit == u'h' ? 3'600'000 : 86'400'000;
        return nowMs - amount * unitMs;
    }
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (day.isValid())
            time = day.startOfDay();
    }
    if (!time.isValid())
        return std::nullopt;
    return time.toMSecsSinceEpoch();
}

QString journalTextLine(const JournalRecord &record)
{
    const QJsonObject &f = record.fields;
    const QString kind = field(f, "kind");
    const QString board = field(f, "board");
    QString text;
    if (kind == u"selected" || kind == u"back") {
        text = texts::deviceSelected(board);
    } else if (kind == u"open_failed") {
        text = texts::deviceNotOpenedLog(board, field(f, "text"));
    } else if (kind == u"lost") {
        text = texts::deviceLost(board);
    } else if (kind == u"closed") {
        text = texts::deviceClosed(board);
    } else if (kind == u"line") {
        text = texts::received(field(f, "text"));
    } else if (kind == u"command") {
        // As sent: its line ends shown, so a script reads as one entry.
        QString command = field(f, "text");
        command.replace(QLatin1String("\r"), QLatin1String("\\r")).replace(QLatin1String("\n"), QLatin1String("\\n"));
        text = QStringLiteral("sent : ") + command;
        if (const QString typed = field(f, "typed"); !typed.isEmpty())
            text += QStringLiteral("  (typed : %1)").arg(typed);
    } else if (kind == u"poll") {
        text = QStringLiteral("poll : ") + pollWords(f);
    } else if (kind == u"adc") {
        text = QStringLiteral("adc %1 %2").arg(number(f, "channel"), number(f, "value"));
    } else if (kind == u"pin") {
        text = QStringLiteral("pin %1 %2").arg(number(f, "pin"), number(f, "level"));
    } else if (kind == u"gap" && !number(f, "channel").isEmpty()) {
        // One channel's readings stopped, the others went on.
        text = QStringLiteral("gap %1 : %2").arg(number(f, "channel"), field(f, "text"));
    } else {
        text = kind + QStringLiteral(" : ") + field(f, "text");
    }
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(record.wallMs);
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral("  ") + escapedControls(text);
}

QByteArray journalCsvRow(const JournalRecord &record)
{
    const QJsonObject &f = record.fields;
    QByteArray row;
    const auto plain = [&row](const QString &text) {
        row.append(text.toUtf8());
    };
    const auto quoted = [&row](const QString &text) {
        appendCsvField(row, text);
    };
    quoted(field(f, "time"));
    row.append(',');
    plain(number(f, "t_ms"));
    row.append(',');
    quoted(field(f, "board"));
    row.append(',');
    quoted(field(f, "kind"));
    for (const char *name : {"channel", "pin", "value", "level"}) {
        row.append(',');
        plain(number(f, name));
    }
    row.append(',');
    quoted(field(f, "kind") == u"poll" ? pollWords(f) : field(f, "text"));
    return row;
}
