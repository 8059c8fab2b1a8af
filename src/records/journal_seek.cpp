#include "records/journal_seek.h"

#include "records/journal_line.h"

#include <algorithm>

#include <zlib.h>

// The decompressor's whole state at a point of the text: restarted from here, it goes on as it went.
struct JournalFileReader::Checkpoint {
    z_stream stream{};
    qint64 in = 0;  // compressed bytes consumed up to here
    qint64 out = 0; // text bytes produced up to here
    bool ready = false;

    ~Checkpoint()
    {
        if (ready)
            inflateEnd(&stream);
    }
};

JournalFileReader::JournalFileReader(QString path, bool compressed)
    : m_path(std::move(path))
    , m_compressed(compressed)
{}

JournalFileReader::~JournalFileReader() = default;

qint64 JournalFileReader::indexBytes() const
{
    // A checkpoint holds the decompressor's state and its 32 KiB window.
    constexpr qint64 kCheckpointBytes = 32 * 1024 + 8 * 1024;
    return qint64(m_samples.size() * sizeof(Sample)) + qint64(m_checkpoints.size()) * kCheckpointBytes;
}

bool JournalFileReader::openFile()
{
    if (!m_file.isOpen()) {
        m_file.setFileName(m_path);
        if (!m_file.open(QIODevice::ReadOnly))
            return false;
    }
    return true;
}

void JournalFileReader::close()
{
    m_file.close();
    m_gzip.reset();
    m_pending = QByteArray();
    m_at = 0;
    m_base = 0;
    m_end = false;
}

bool JournalFileReader::rewind()
{
    return restartAt(0);
}

bool JournalFileReader::restartAt(qint64 offset)
{
    if (!openFile())
        return false;
    m_pending.resize(0);
    m_at = 0;
    m_end = false;
    if (!m_compressed) {
        m_base = offset;
        if (!m_file.seek(offset)) {
            m_end = true;
            return false;
        }
        return true;
    }
    // The last checkpoint at or before the offset, or the start.
    const Checkpoint *from = nullptr;
    for (const auto &checkpoint : m_checkpoints) {
        if (checkpoint->out > offset)
            break;
        from = checkpoint.get();
    }
    m_gzip = std::make_unique<GzipText>();
    if (!m_gzip->isReady()) {
        m_end = true;
        return false;
    }
    m_base = 0;
    if (from) {
        if (!m_gzip->restart(const_cast<z_stream &>(from->stream), from->in)) {
            m_end = true;
            return false;
        }
        m_base = from->out;
    }
    if (!m_file.seek(m_gzip->fileRead())) {
        m_end = true;
        return false;
    }
    // Decompressed again up to the offset, and passed over.
    while (m_base + m_pending.size() < offset) {
        m_at = m_pending.size();
        if (!fill())
            return false;
    }
    m_at = qsizetype(offset - m_base);
    return true;
}

bool JournalFileReader::fill()
{
    if (m_end)
        return false;
    if (m_at > 0) {
        m_pending.remove(0, m_at);
        m_base += m_at;
        m_at = 0;
    }
    const qsizetype before = m_pending.size();
    if (!m_gzip) {
        m_pending.resize(before + m_plainChunk);
        const qint64 read = m_file.read(m_pending.data() + before, m_plainChunk);
        m_pending.resize(before + std::max<qint64>(read, 0));
        m_end = read <= 0;
        return !m_end;
    }
    const GzipText::Step step = m_gzip->inflateMore(m_file, m_pending);
    if (step == GzipText::Step::End) {
        // Damaged or cut short: what came before stands.
        m_end = true;
        return m_pending.size() > before;
    }
    if (m_indexing && step != GzipText::Step::MemberEnd) {
        const qint64 out = m_base + m_pending.size();
        const qint64 last = m_checkpoints.empty() ? 0 : m_checkpoints.back()->out;
        if (out - last >= kCheckpointStep) {
            auto checkpoint = std::make_unique<Checkpoint>();
            if (inflateCopy(&checkpoint->stream, &m_gzip->state()) == Z_OK) {
                checkpoint->ready = true;
                checkpoint->in = m_gzip->fileRead() - m_gzip->state().avail_in;
                checkpoint->out = out;
                m_checkpoints.push_back(std::move(checkpoint));
            }
        }
    }
    return true;
}

bool JournalFileReader::next(QByteArrayView &line, bool *cut)
{
    *cut = false;
    bool tooLong = false;
    for (;;) {
        // A line longer than any record is passed over to its end, and handed out empty (no record).
        if (m_pending.size() - m_at > kLongestLine) {
            tooLong = true;
            m_at = m_pending.size();
        }
        const char *start = m_pending.constData() + m_at;
        const qsizetype left = m_pending.size() - m_at;
        if (const void *end = left > 0 ? std::memchr(start, '\n', size_t(left)) : nullptr) {
            const qsizetype size = static_cast<const char *>(end) - start;
            line = tooLong ? QByteArrayView() : QByteArrayView(start, size);
            m_at += size + 1;
            return true;
        }
        if (!fill()) {
            *cut = m_at < m_pending.size();
            m_at = m_pending.size();
            return false;
        }
    }
}

qint64 JournalFileReader::firstMs()
{
    if (m_firstMs != -2)
        return m_firstMs;
    m_firstMs = -1;
    JournalFileReader scanner(m_path, m_compressed);
    if (!scanner.rewind())
        return m_firstMs;
    JournalLine record;
    QByteArrayView line;
    bool cut = false;
    while (scanner.next(line, &cut)) {
        if (decodeJournalLine(line, record)) {
            m_firstMs = record.wallMs;
            break;
        }
    }
    return m_firstMs;
}

qint64 JournalFileReader::lastMs()
{
    if (!m_indexed)
        buildIndex();
    return m_lastMs;
}

qint64 JournalFileReader::lastRecordFrom(qint64 offset)
{
    qint64 last = -1;
    if (!restartAt(offset))
        return last;
    JournalLine record;
    QByteArrayView line;
    bool cut = false;
    while (next(line, &cut)) {
        if (decodeJournalLine(line, record))
            last = std::max(last, record.wallMs);
    }
    return last;
}

void JournalFileReader::samplePlain()
{
    if (!openFile())
        return;
    // A sample reads a line or two, not the file.
    m_plainChunk = 16 * 1024;
    const qint64 size = m_file.size();
    JournalLine record;
    QByteArrayView line;
    bool cut = false;
    for (qint64 at = 0; at < size; at += kPlainStep) {
        // From the byte before: a line that starts exactly here is not passed over.
        if (!restartAt(std::max<qint64>(0, at - 1)))
            break;
        if (at > 0 && !next(line, &cut))
            break;
        // The first whole record from here (a few bad lines are passed over).
        for (int tries = 0; tries < 64; ++tries) {
            const qint64 offset = m_base + m_at;
            if (!next(line, &cut))
                break;
            if (!decodeJournalLine(line, record))
                continue;
            if (m_samples.empty() || offset > m_samples.back().offset)
                m_samples.push_back(
                    {offset, std::max(record.wallMs, m_samples.empty() ? record.wallMs : m_samples.back().wallMs)});
            break;
        }
    }
}

void JournalFileReader::scanCompressed()
{
    if (!rewind())
        return;
    m_indexing = true;
    JournalLine record;
    QByteArrayView line;
    bool cut = false;
    qint64 nextSample = 0;
    for (;;) {
        const qint64 offset = m_base + m_at;
        if (!next(line, &cut))
            break;
        if (offset < nextSample || !decodeJournalLine(line, record))
            continue;
        m_samples.push_back(
            {offset, std::max(record.wallMs, m_samples.empty() ? record.wallMs : m_samples.back().wallMs)});
        nextSample = offset + kSampleStep;
    }
    m_indexing = false;
}

void JournalFileReader::buildIndex()
{
    if (m_indexed)
        return;
    // Read by a reader of its own: what this one is reading stays where it is.
    JournalFileReader scanner(m_path, m_compressed);
    if (m_compressed)
        scanner.scanCompressed();
    else
        scanner.samplePlain();
    m_samples = std::move(scanner.m_samples);
    m_checkpoints = std::move(scanner.m_checkpoints);
    m_indexed = true;
    m_lastMs = m_samples.empty() ? -1 : scanner.lastRecordFrom(m_samples.back().offset);
    if (m_firstMs == -2)
        m_firstMs = m_samples.empty() ? -1 : m_samples.front().wallMs;
}

bool JournalFileReader::seek(qint64 wallMs)
{
    buildIndex();
    // The last sample before the moment: the records from it on include every one of the moment.
    const auto after = std::lower_bound(m_samples.begin(), m_samples.end(), wallMs,
                                        [](const Sample &sample, qint64 ms) { return sample.wallMs < ms; });
    if (after == m_samples.begin())
        return rewind();
    return restartAt(std::prev(after)->offset);
}
