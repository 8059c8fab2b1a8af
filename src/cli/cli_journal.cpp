#include "cli/cli_commands.h"

#include "records/journal_line.h"
#include "records/journal_reader.h"

#include <QDateTime>
#include <QDir>

namespace {

QString isoTime(qint64 ms)
{
    return journalTimeText(QDateTime::fromMSecsSinceEpoch(ms));
}

} // namespace

int CliJournal::list()
{
    const QString folder = m_context.options().journalFolder;
    const QList<JournalBoard> boards = journalBoards(folder);
    for (const JournalBoard &board : boards) {
        m_context.records().line(QStringLiteral("%1 %2 %3 %4")
                                     .arg(board.board, board.firstMs < 0 ? QStringLiteral("-") : isoTime(board.firstMs),
                                          board.lastMs < 0 ? QStringLiteral("-") : isoTime(board.lastMs),
                                          QString::number(board.bytes))
                                     .toUtf8());
    }
    if (boards.isEmpty()) {
        m_context.error(QStringLiteral("no board has a journal in %1").arg(QDir::toNativeSeparators(folder)));
        return m_context.finish(kExitNoBoard);
    }
    return m_context.finish(kExitOk);
}

int CliJournal::run()
{
    const CliOptions &options = m_context.options();
    if (options.journalList)
        return list();
    RecordWriter &records = m_context.records();
    JournalQuery query;
    query.folder = options.journalFolder;
    query.board = options.boards.value(0);
    query.sinceMs = options.sinceMs;
    query.untilMs = options.untilMs;
    query.kinds = options.kinds;
    if (options.format == RecordFormat::Csv)
        records.header();
    qint64 skipped = 0;
    const bool found = readJournal(
        query,
        [&](const JournalRecord &record) {
            switch (options.format) {
            case RecordFormat::Text:
                records.line(journalTextLine(record).toUtf8());
                break;
            case RecordFormat::Csv:
                records.line(journalCsvRow(record));
                break;
            case RecordFormat::Jsonl:
                records.line(record.line);
                break;
            }
            // Written as it goes, so a large journal streams; a reader that left ends the reading.
            if (records.pendingBytes() > 64 * 1024)
                records.flush();
            return !records.failed();
        },
        &skipped);
    // Said once: lines that were not whole records (cut short, not JSON, numbers out of range).
    if (skipped > 0)
        m_context.error(QStringLiteral("%1 lines skipped").arg(skipped));
    if (!found) {
        m_context.error(
            QStringLiteral("board %1 has no journal in %2").arg(query.board, QDir::toNativeSeparators(query.folder)));
        return m_context.finish(kExitNoBoard);
    }
    return m_context.finish(kExitOk);
}
