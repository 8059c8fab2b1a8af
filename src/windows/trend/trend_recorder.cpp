#include "windows/trend/trend_recorder.h"

namespace {

const QByteArray kHeader = "time,kind,index,value\n";

} // namespace

QByteArray trendCsvLine(const QDateTime &when, const char *kind, int index, std::int32_t value)
{
    QByteArray line = when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")).toLatin1();
    line.append(',').append(kind).append(',').append(QByteArray::number(index));
    line.append(',').append(QByteArray::number(value)).append('\n');
    return line;
}

TrendRecorder::~TrendRecorder()
{
    stop();
}

bool TrendRecorder::start(const QString &path, QString *error)
{
    stop();
    m_file.setFileName(path);
    m_path = path;
    m_rows = 0;
    m_pendingRows = 0;
    m_writtenBytes = 0;
    m_error.clear();
    m_pending = kHeader;
    // Unbuffered: a failing write is seen at once, not at a later flush.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = m_file.errorString();
        return false;
    }
    if (!flush()) {
        *error = m_error;
        return false;
    }
    return true;
}

void TrendRecorder::row(const QDateTime &when, const char *kind, int index, std::int32_t value)
{
    if (!isRecording())
        return;
    m_pending += trendCsvLine(when, kind, index, value);
    ++m_pendingRows;
}

void TrendRecorder::reading(const QDateTime &when, int channel, std::int32_t value)
{
    row(when, "adc", channel, value);
}

void TrendRecorder::pinLevel(const QDateTime &when, int pin, int level)
{
    row(when, "pin", pin, level);
}

bool TrendRecorder::flush()
{
    if (!isRecording())
        return m_error.isEmpty();
    if (m_pending.isEmpty())
        return true;
    const qint64 written = m_file.write(m_pending);
    if (written != m_pending.size()) {
        fail(m_file.errorString());
        return false;
    }
    m_writtenBytes += written;
    m_rows += m_pendingRows;
    m_pendingRows = 0;
    m_pending.clear();
    return true;
}

void TrendRecorder::fail(const QString &reason)
{
    m_error = reason.isEmpty() ? QStringLiteral("the file could not be written") : reason;
    // A row cut short is taken back, so the file ends with a whole row.
    m_file.resize(m_writtenBytes);
    m_file.close();
    m_pending.clear();
    m_pendingRows = 0;
}

void TrendRecorder::stop()
{
    if (!isRecording())
        return;
    if (flush())
        m_file.close();
}
