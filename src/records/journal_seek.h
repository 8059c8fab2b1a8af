#pragma once

#include "records/journal_gzip.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <memory>
#include <vector>

// One journal file read from any moment, plain (.jsonl) or compressed (.jsonl.gz) alike.
//
// A seek needs to know where in the file a moment lies: an index of offsets by time, built once per file and kept
// in memory, taken on the first seek (or when the file's last time is asked). A plain file is sampled: a line read
// about every kPlainStep bytes, without reading the rest. A compressed file cannot be entered in the middle, and the
// journal's files were written without restart points: it is decompressed once, and every kCheckpointStep bytes of
// its text the decompressor's whole state is kept (zlib's inflateCopy: the 32 KiB window and the bit position), so a
// seek restarts from the checkpoint before the moment and decompresses at most that much again; its times are
// sampled every kSampleStep bytes on the way.
class JournalFileReader
{
public:
    static constexpr qint64 kPlainStep = 256 * 1024;
    static constexpr qint64 kSampleStep = 256 * 1024;
    static constexpr qint64 kCheckpointStep = 4 * 1024 * 1024;
    // Longer than any record the journal writes (a line of 65536 characters, each escaped): a line past it is not
    // kept in memory, and is handed out empty.
    static constexpr qsizetype kLongestLine = 1024 * 1024;

    JournalFileReader(QString path, bool compressed);
    ~JournalFileReader();
    JournalFileReader(const JournalFileReader &) = delete;
    JournalFileReader &operator=(const JournalFileReader &) = delete;

    const QString &path() const { return m_path; }
    bool isCompressed() const { return m_compressed; }

    // Reads from the start; false when the file cannot be opened.
    bool rewind();
    // Reads from a line at or before the first record of `wallMs` or later (its records before `wallMs` are the
    // caller's to pass over: at most kSampleStep bytes of them). Builds the index first when there is none.
    bool seek(qint64 wallMs);
    // The next line, without its end, valid until the next call; false at the end of the file (or of what can be
    // decompressed). A last line without its end (cut short) is not handed out and sets `cut`.
    bool next(QByteArrayView &line, bool *cut);
    // Lets go of the file and its buffers; the index stays.
    void close();

    // The time of the file's first and last whole record (-1 when it has none). The first is read at once; the last
    // builds the index.
    qint64 firstMs();
    qint64 lastMs();
    bool hasIndex() const { return m_indexed; }
    // What the index holds in memory, in bytes (its samples and checkpoints).
    qint64 indexBytes() const;

private:
    struct Sample {
        qint64 offset = 0; // of a line start, in the file's text
        qint64 wallMs = 0; // the time of that line's record, never less than an earlier sample's
    };
    struct Checkpoint;

    bool openFile();
    bool fill();
    bool restartAt(qint64 offset);
    void buildIndex();
    void samplePlain();
    void scanCompressed();
    qint64 lastRecordFrom(qint64 offset);

    QString m_path;
    bool m_compressed = false;
    QFile m_file;
    std::unique_ptr<GzipText> m_gzip;
    QByteArray m_pending;                // read and not yet handed out
    qsizetype m_at = 0;                  // within m_pending
    qint64 m_base = 0;                   // the text offset of m_pending[0]
    qsizetype m_plainChunk = 256 * 1024; // read from a plain file at a time: little while sampling
    bool m_end = false;
    // The index.
    bool m_indexed = false;
    bool m_indexing = false;
    std::vector<Sample> m_samples;
    std::vector<std::unique_ptr<Checkpoint>> m_checkpoints;
    qint64 m_firstMs = -2; // -2: not read yet
    qint64 m_lastMs = -2;
};
