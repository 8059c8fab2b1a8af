#include "host/board_recording.h"

#include "session/session_event.h"

namespace {

constexpr int kFlushMs = 1000;

} // namespace

bool BoardRecording::start(const QString &path, qint64 originMs, const BoardCalibration &calibration, QString *error)
{
    stop();
    m_writer.setOrigin(originMs);
    m_writer.setCalibration(calibration);
    if (!m_writer.open(path, error))
        return false;
    m_writer.header();
    if (!m_writer.flush()) {
        if (error)
            *error = m_writer.error();
        m_writer.close();
        return false;
    }
    m_path = path;
    m_flush.setInterval(kFlushMs);
    connect(&m_flush, &QTimer::timeout, this, &BoardRecording::flush, Qt::UniqueConnection);
    m_flush.start();
    return true;
}

void BoardRecording::stop()
{
    if (!m_writer.isOpen())
        return;
    flush();
    m_writer.close();
    m_flush.stop();
    Q_EMIT progressed();
}

void BoardRecording::take(const SessionEvent &event)
{
    if (!m_writer.isOpen())
        return;
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
    case SessionEvent::Kind::PinLevel:
    case SessionEvent::Kind::Gap:
        m_writer.record(event);
        break;
    default:
        break;
    }
}

void BoardRecording::flush()
{
    if (!m_writer.isOpen())
        return;
    const qint64 before = m_writer.written();
    if (!m_writer.flush()) {
        // What was written stays; the rest is said to be lost.
        m_flush.stop();
        const QString error = m_writer.error();
        m_writer.close();
        Q_EMIT failed(m_path, m_writer.written(), error);
        Q_EMIT progressed();
        return;
    }
    if (m_writer.written() != before)
        Q_EMIT progressed();
}
