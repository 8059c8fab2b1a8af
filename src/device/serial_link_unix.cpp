// The serial link on Unix: the port's file descriptor, read without blocking once a poll.
#include "device/serial_link.h"

#include "device/diagnostics.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

struct SerialLink::Native {
    int fd = -1;
    QTimer drainTimer; // runs while the stream is fast
    qsizetype takenSincePoll = 0;
    QByteArray outgoing; // kept for sending, from outgoingAt on
    qsizetype outgoingAt = 0;
    std::unique_ptr<QSocketNotifier> writable; // on while bytes are kept
};

namespace {

constexpr qsizetype kReadChunk = 64 * 1024;
constexpr qsizetype kMuchPerDrain = 8 * 1024;
constexpr int kReadsPerDrain = 16;
constexpr int kLongestDrainMs = 16;

void configure(int fd)
{
    // The chip's power-on defaults: 9600 baud, 8 data bits, no parity, one stop bit, no flow control, raw bytes.
    // Ports without real lines (pseudo-terminals, some adapters) refuse parts of this; that does not keep the
    // port from being used.
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    settings.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
    settings.c_cflag &= ~tcflag_t(CRTSCTS);
#endif
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    // With VMIN 1 a read of an empty queue says EAGAIN, and only end of file (a hang-up) reads as 0 bytes.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &settings);
}

QString devicePath(const QString &portName)
{
    return portName.startsWith(u'/') ? portName : QStringLiteral("/dev/") + portName;
}

} // namespace

SerialLink::SerialLink(std::unique_ptr<Native> native)
    : m_native(std::move(native))
{
    m_native->drainTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_native->drainTimer, &QTimer::timeout, [this] { drain(); });
    m_native->writable = std::make_unique<QSocketNotifier>(m_native->fd, QSocketNotifier::Write);
    m_native->writable->setEnabled(false);
    QObject::connect(m_native->writable.get(), &QSocketNotifier::activated, [this] { pushOut(); });
}

SerialLink::~SerialLink()
{
    // Nothing the program sent is dropped at close while the port still takes it.
    if (!flushOut(kCloseStallMs) && !m_gone) {
        qCWarning(lcDevice).noquote() << QStringLiteral("%1 bytes were not sent: the port took none for %2 s")
                                             .arg(bytesToWrite())
                                             .arg(kCloseStallMs / 1000);
    }
    m_native->writable.reset();
    if (m_native->fd >= 0) {
        ::ioctl(m_native->fd, TIOCNXCL);
        ::close(m_native->fd);
    }
}

SerialLink::OpenResult SerialLink::open(const QString &portName)
{
    OpenResult result;
    const QByteArray path = QFile::encodeName(devicePath(portName));
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        result.permissionDenied = error == EACCES || error == EPERM;
        if (result.permissionDenied)
            result.reason = QStringLiteral("no permission to open %1").arg(portName);
        else if (error == ENOENT || error == ENODEV || error == ENXIO)
            result.reason = QStringLiteral("no such port %1").arg(portName);
        else if (error == EBUSY)
            result.reason = QStringLiteral("%1 is in use by another program").arg(portName);
        else
            result.reason = QStringLiteral("%1: %2").arg(portName, QString::fromLocal8Bit(std::strerror(error)));
        return result;
    }
    // Like the vendor's driver, one program at a time; released again at close.
    ::ioctl(fd, TIOCEXCL);
    configure(fd);
    auto native = std::make_unique<Native>();
    native->fd = fd;
    result.link.reset(new SerialLink(std::move(native)));
    return result;
}

void SerialLink::markGone()
{
    m_gone = true;
    m_native->drainTimer.stop();
    m_native->writable.reset();
    m_native->outgoing.clear();
    m_native->outgoingAt = 0;
    ::close(m_native->fd);
    m_native->fd = -1;
}

void SerialLink::takeIn()
{
    pushOut();
    drain();
    // Much since the last poll: the stream is fast, so the port is drained between polls too. (Waking for every
    // arrival would wake thousands of times a second: a terminal hands data over in pieces of a few bytes.)
    if (m_gone || m_native->takenSincePoll < kBusyBytes) {
        m_native->drainTimer.stop();
    } else if (!m_native->drainTimer.isActive()) {
        m_native->drainTimer.start(kLongestDrainMs);
    }
    m_native->takenSincePoll = 0;
}

void SerialLink::drain()
{
    qsizetype taken = 0;
    int reads = 0;
    while (!m_gone && m_received.size() < kBufferLimit) {
        const qsizetype size = m_received.size();
        const qsizetype room = std::min(kReadChunk, kBufferLimit - size);
        m_received.resize(size + room);
        const ssize_t n = ::read(m_native->fd, m_received.data() + size, size_t(room));
        m_received.resize(size + std::max<ssize_t>(0, n));
        if (n > 0) {
            taken += n;
            // The terminal hands data on in pieces while it is read; past a few reads, the next drain takes the
            // rest in fewer, larger pieces.
            if (++reads >= kReadsPerDrain)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // Nothing more for now; end of file or an error means the port is gone (unplugged, hung up).
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            markGone();
        break;
    }
    m_native->takenSincePoll += taken;
    // Drains that find much come more often, drains that find little less often.
    QTimer &timer = m_native->drainTimer;
    if (!timer.isActive())
        return;
    if (taken >= kMuchPerDrain && timer.interval() > 1)
        timer.setInterval(timer.interval() / 2);
    else if (taken < kMuchPerDrain / 4 && timer.interval() < kLongestDrainMs)
        timer.setInterval(std::min(kLongestDrainMs, timer.interval() * 2));
}

qint64 SerialLink::bytesToWrite() const
{
    return m_native->outgoing.size() - m_native->outgoingAt;
}

void SerialLink::pushOut()
{
    Native &native = *m_native;
    while (!m_gone && bytesToWrite() > 0) {
        const ssize_t n = ::write(native.fd, native.outgoing.constData() + native.outgoingAt, size_t(bytesToWrite()));
        if (n > 0) {
            native.outgoingAt += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break; // slow, not lost: the rest goes when the port takes it
        markGone();
        return;
    }
    if (m_gone)
        return;
    if (bytesToWrite() == 0) {
        native.outgoing.resize(0);
        native.outgoingAt = 0;
    } else if (native.outgoingAt > native.outgoing.size() / 2) {
        native.outgoing.remove(0, native.outgoingAt);
        native.outgoingAt = 0;
    }
    native.writable->setEnabled(bytesToWrite() > 0);
}

bool SerialLink::write(const char *data, qint64 size)
{
    if (m_gone)
        return false;
    // Bounded: past the limit, the writer waits for the port as a blocking write would (and keeps its bytes even
    // when the port stalls, so nothing is dropped).
    if (bytesToWrite() + size > kOutgoingLimit)
        flushOut(kCloseStallMs);
    if (m_gone)
        return false;
    m_native->outgoing.append(data, size);
    pushOut();
    return !m_gone;
}

bool SerialLink::flushOut(int stallMs)
{
    QDeadlineTimer stalled(stallMs);
    while (!m_gone && bytesToWrite() > 0 && !stalled.hasExpired()) {
        pollfd ready{m_native->fd, POLLOUT, 0};
        ::poll(&ready, 1, int(std::clamp<qint64>(stalled.remainingTime(), 1, 100)));
        if (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            markGone();
            break;
        }
        const qint64 before = bytesToWrite();
        pushOut();
        if (bytesToWrite() < before)
            stalled.setRemainingTime(stallMs);
    }
    return !m_gone && bytesToWrite() == 0;
}