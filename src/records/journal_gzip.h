#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>

// Journal files compressed once their day is over: 2026-12-07.jsonl becomes 2026-12-07.jsonl.gz (gzip, which any
// tool reads).

// Compresses a closed file into the same name with ".gz" added, kept to its owner, then removes the plain file. On
// failure the plain file stays as it was, and the reason is given.
std::optional<QString> compressJournalFile(const QString &path);

// A journal file's lines, plain or compressed alike.
class JournalLines
{
public:
    JournalLines();
    ~JournalLines();
    JournalLines(const JournalLines &) = delete;
    JournalLines &operator=(const JournalLines &) = delete;

    bool open(const QString &path);
    // The next line, without its end; false at the end of the file. A last line without its end (cut short by a
    // power loss, or a compressed file cut short) sets `cut` and is not handed out.
    bool next(QByteArray &line, bool *cut);

private:
    bool fill();

    struct Inflater;
    QFile m_file;
    std::unique_ptr<Inflater> m_inflater; // a compressed file only
    QByteArray m_pending;                 // read and not yet handed out
    qsizetype m_at = 0;
    bool m_end = false;
};
