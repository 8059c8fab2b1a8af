#include "records/journal_gzip.h"

#include "records/private_access.h"

#include <QDir>

#include <zlib.h>

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

std::optional<QString> compressJournalFile(const QString &path)
{
    constexpr qsizetype kChunk = GzipText::kChunk;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: %2").arg(shown(path), in.errorString());
    const QString target = path + QStringLiteral(".gz");
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part); // left by a compression that was cut short
    QFile out;
    QString error;
    if (!openPrivateForAppend(out, part, &error))
        return QStringLiteral("%1: %2").arg(shown(part), error);

    z_stream stream{};
    // 15 + 16: a gzip header and trailer, not zlib's.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QStringLiteral("%1: the compressor could not start").arg(shown(path));
    QByteArray input(kChunk, Qt::Uninitialized);
    QByteArray output(kChunk, Qt::Uninitialized);
    std::optional<QString> failure;
    bool done = false;
    while (!done && !failure) {
        const qint64 read = in.read(input.data(), kChunk);
        if (read < 0) {
            failure = QStringLiteral("%1: %2").arg(shown(path), in.errorString());
            break;
        }
        const int flush = read == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef *>(input.data());
        stream.avail_in = uInt(read);
        do {
            stream.next_out = reinterpret_cast<Bytef *>(output.data());
            stream.avail_out = uInt(kChunk);
            const int result = deflate(&stream, flush);
            const qint64 produced = kChunk - stream.avail_out;
            if (out.write(output.constData(), produced) != produced) {
                failure = QStringLiteral("%1: %2").arg(shown(part), out.errorString());
                break;
            }
            done = result == Z_STREAM_END;
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    out.close();
    in.close(); // Windows removes no file that is open
    if (!failure && !out.error()) {
        QFile::remove(target);
        if (!QFile::rename(part, target))
            failure = QStringLiteral("%1 could not be renamed").arg(shown(part));
    }
    if (failure) {
        QFile::remove(part);
        return failure;
    }
    // Both kept, the plain file is the one read: nothing is lost, and the next pass tries again.
    if (!QFile::remove(path))
        return QStringLiteral("%1 could not be removed once compressed").arg(shown(path));
    return std::nullopt;
}

GzipText::GzipText()
    : m_stream(std::make_unique<z_stream>())
    , m_input(kChunk, Qt::Uninitialized)
{
    m_ready = inflateInit2(m_stream.get(), 15 + 16) == Z_OK;
}

GzipText::~GzipText()
{
    if (m_ready)
        inflateEnd(m_stream.get());
}

GzipText::Step GzipText::inflateMore(QFile &file, QByteArray &text)
{
    z_stream &stream = *m_stream;
    if (stream.avail_in == 0) {
        const qint64 read = file.read(m_input.data(), kChunk);
        if (read <= 0)
            return Step::End;
        m_fileRead += read;
        stream.next_in = reinterpret_cast<Bytef *>(m_input.data());
        stream.avail_in = uInt(read);
    }
    const uInt inBefore = stream.avail_in;
    const qsizetype before = text.size();
    text.resize(before + kChunk);
    stream.next_out = reinterpret_cast<Bytef *>(text.data() + before);
    stream.avail_out = uInt(kChunk);
    const int result = inflate(&stream, Z_NO_FLUSH);
    const qsizetype produced = kChunk - stream.avail_out;
    text.resize(before + produced);
    if (result == Z_STREAM_END) {
        inflateReset(&stream);
        return Step::MemberEnd;
    }
    if (result != Z_OK && result != Z_BUF_ERROR)
        return Step::End;
    // No way forward: never a loop without end.
    if (produced == 0 && stream.avail_in == inBefore)
        return Step::End;
    return Step::Text;
}

bool GzipText::restart(z_stream_s &state, qint64 fileRead)
{
    if (m_ready)
        inflateEnd(m_stream.get());
    m_ready = inflateCopy(m_stream.get(), &state) == Z_OK;
    if (!m_ready)
        return false;
    m_stream->next_in = nullptr;
    m_stream->avail_in = 0;
    m_fileRead = fileRead;
    return true;
}

JournalLines::JournalLines() = default;

JournalLines::~JournalLines() = default;

bool JournalLines::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    if (path.endsWith(QLatin1String(".gz"))) {
        m_gzip = std::make_unique<GzipText>();
        if (!m_gzip->isReady()) {
            m_gzip.reset();
            return false;
        }
    }
    return true;
}

bool JournalLines::fill()
{
    if (m_end)
        return false;
    m_pending.remove(0, m_at);
    m_at = 0;
    if (!m_gzip) {
        const QByteArray more = m_file.read(GzipText::kChunk);
        m_end = more.isEmpty();
        m_pending += more;
        return !m_end;
    }
    const qsizetype before = m_pending.size();
    if (m_gzip->inflateMore(m_file, m_pending) == GzipText::Step::End) {
        // Damaged or cut short: what came before stands.
        m_end = true;
        return m_pending.size() > before;
    }
    return true;
}

bool JournalLines::next(QByteArray &line, bool *cut)
{
    *cut = false;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n', m_at);
        if (end >= 0) {
            line = m_pending.mid(m_at, end - m_at);
            m_at = end + 1;
            return true;
        }
        if (!fill()) {
            *cut = m_at < m_pending.size();
            m_at = m_pending.size();
            return false;
        }
    }
}
