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

struct z_stream_s;

// A gzip file's text, inflated a piece at a time; files joined one after another (cat a.gz b.gz) read as one.
class GzipText
{
public:
    static constexpr qsizetype kChunk = 256 * 1024;

    GzipText();
    ~GzipText();
    GzipText(const GzipText &) = delete;
    GzipText &operator=(const GzipText &) = delete;

    bool isReady() const { return m_ready; }

    enum class Step {
        Text,      // inflated on (perhaps nothing yet)
        MemberEnd, // ... up to the end of one member; the next follows
        End,       // the file is over, damaged from here on (what came before stands) or goes no further
    };
    // Inflates what comes next in `file` onto the end of `text`, at most kChunk bytes.
    Step inflateMore(QFile &file, QByteArray &text);
    // Goes on from a copy of an earlier state, the file to be read again from `fileRead` on.
    bool restart(z_stream_s &state, qint64 fileRead);
    z_stream_s &state() { return *m_stream; }
    // The compressed bytes read from the file so far.
    qint64 fileRead() const { return m_fileRead; }

private:
    std::unique_ptr<z_stream_s> m_stream;
    QByteArray m_input;
    qint64 m_fileRead = 0;
    bool m_ready = false;
};

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

    QFile m_file;
    std::unique_ptr<GzipText> m_gzip; // a compressed file only
    QByteArray m_pending;             // read and not yet handed out
    qsizetype m_at = 0;
    bool m_end = false;
};
