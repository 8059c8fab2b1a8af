#include "records/journal_gzip.h"

#include "records/private_access.h"

#include <QDir>

#include <zlib.h>

namespace {

constexpr qsizetype kChunk = 256 * 1024;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

std::optional<QString> compressJournalFile(const QString &path)
{
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

struct JournalLines::Inflater {
    z_stream stream{};
    QByteArray input = QByteArray(kChunk, Qt::Uninitialized);
};

JournalLines::JournalLines() = default;

JournalLines::~JournalLines()
{
    if (m_inflater)
        inflateEnd(&m_inflater->stream);
}

bool JournalLines::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    if (path.endsWith(QLatin1String(".gz"))) {
        m_inflater = std::make_unique<Inflater>();
        if (inflateInit2(&m_inflater->stream, 15 + 16) != Z_OK) {
            m_inflater.reset();
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
    if (!m_inflater) {
        const QByteArray more = m_file.read(kChunk);
        m_end = more.isEmpty();
        m_pending += more;
        return !m_end;
    }
    Inflater &z = *m_inflater;
    z_stream &stream = z.stream;
    if (stream.avail_in == 0) {
        const qint64 read = m_file.read(z.input.data(), kChunk);
        if (read <= 0) {
            m_end = true;
            return false;
        }
        stream.next_in = reinterpret_cast<Bytef *>(z.input.data());
        stream.avail_in = uInt(read);
    }
    const qsizetype before = m_pending.size();
    m_pending.resize(before + kChunk);
    stream.next_out = reinterpret_cast<Bytef *>(m_pending.data() + before);
    stream.avail_out = uInt(kChunk);
    const int result = inflate(&stream, Z_NO_FLUSH);
    m_pending.resize(before + (kChunk - stream.avail_out));
    if (result == Z_STREAM_END) {
        // Files joined one after another (cat a.gz b.gz) are one gzip file: the next member follows.
        inflateReset(&stream);
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
        // Damaged from here on: what came before stands.
        m_end = true;
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
