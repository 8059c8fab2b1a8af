#include "cli/cli_commands.h"

#include "records/journal_reader.h"

#include <QDir>

int CliJournal::run()
{
    const CliOptions &options = m_context.options();
    RecordWriter &records = m_context.records();
    JournalQuery query;
    query.folder = options.journalFolder;
    query.board = options.boards.value(0);
    query.sinceMs = options.sinceMs;
    query.untilMs = options.untilMs;
    query.kinds = options.kinds;
    if (options.format == RecordFormat::Csv)
        records.header();
    const bool found = readJournal(query, [&](const JournalRecord &record) {
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
    });
    if (!found) {
        m_context.error(
            QStringLiteral("board %1 has no journal in %2").arg(query.board, QDir::toNativeSeparators(query.folder)));
        return m_context.finish(kExitNoBoard);
    }
    return m_context.finish(kExitOk);
}
