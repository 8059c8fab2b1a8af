// The serial link where there is no Unix file descriptor to read (Windows): QSerialPort, with its own buffer
// bounded so that it stops reading when full, and taken in only when asked.
#include "device/serial_link.h"

#include <QSerialPort>

#include <algorithm>

struct SerialLink::Native {
    std::unique_ptr<QSerialPort> port;
};

SerialLink::SerialLink(std::unique_ptr<Native> native)
    : m_native(std::move(native))
{
    // After an unplug QSerialPort repeats its error until the port is closed: close it at the first.
    QObject::connect(m_native->port.get(), &QSerialPort::errorOccurred, m_native->port.get(),
                     [this](QSerialPort::SerialPortError error) {
                         if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
                             markGone();
                     });
}

SerialLink::~SerialLink()
{
    // Nothing the program sent is dropped at close while the port still takes it.
    flushOut(kCloseStallMs);
    // The port object may be inside its own error signal; let it finish before it goes.
    m_native->port->close();
    m_native->port.release()->deleteLater();
}

SerialLink::OpenResult SerialLink::open(const QString &portName)
{
    OpenResult result;
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(portName);
    port->setReadBufferSize(kBufferLimit);
    if (!port->open(QIODevice::ReadWrite)) {
        result.permissionDenied = port->error() == QSerialPort::PermissionError;
        if (result.permissionDenied)
            result.reason = QStringLiteral("no permission to open %1").arg(portName);
        else if (port->error() == QSerialPort::DeviceNotFoundError)
            result.reason = QStringLiteral("no such port %1").arg(portName);
        else
            result.reason = QStringLiteral("%1: %2").arg(portName, port->errorString());
        return result;
    }
    // Ports without modem lines or settable speeds refuse some of these; that does not keep them from working.
    port->setBaudRate(QSerialPort::Baud9600);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->clearError();
    auto native = std::make_unique<Native>();
    native->port = std::move(port);
    result.link.reset(new SerialLink(std::move(native)));
    return result;
}

void SerialLink::markGone()
{
    if (m_gone)
        return;
    m_gone = true;
    const qsizetype room = kBufferLimit - m_received.size();
    m_received += m_native->port->read(std::max<qsizetype>(0, room));
    m_native->port->close();
}

void SerialLink::takeIn()
{
    if (m_gone)
        return;
    m_native->port->waitForReadyRead(0);
    if (m_gone)
        return;
    m_native->port->clearError();
    const qsizetype room = kBufferLimit - m_received.size();
    if (room > 0)
        m_received += m_native->port->read(room);
}

bool SerialLink::write(const char *data, qint64 size)
{
    if (m_gone)
        return false;
    // QSerialPort keeps what the port does not take at once and hands it on from the event loop.
    if (bytesToWrite() + size > kOutgoingLimit)
        flushOut(kCloseStallMs);
    return !m_gone && m_native->port->write(data, size) == size;
}

qint64 SerialLink::bytesToWrite() const
{
    return m_gone ? 0 : m_native->port->bytesToWrite();
}

bool SerialLink::flushOut(int stallMs)
{
    while (!m_gone && bytesToWrite() > 0) {
        if (!m_native->port->waitForBytesWritten(stallMs))
            break;
    }
    return !m_gone && bytesToWrite() == 0;
}

void SerialLink::pushOut()
{
    // QSerialPort writes in the background by itself.
}

void SerialLink::drain()
{
    // QSerialPort reads in the background by itself, into its own bounded buffer.
}
