#include "device/serial_driver.h"

#include "device/code_page.h"
#include "device/diagnostics.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstring>

namespace {

QString deviceText(const QString &name)
{
    // The text that the by-position call can return: 16 bytes of the code page.
    return fromCodePage(toCodePage(name).left(kSerialBufferSize - 1));
}

QList<SerialPortDescription> systemPorts()
{
    QList<SerialPortDescription> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.hasVendorIdentifier(), info.vendorIdentifier(), info.serialNumber()});
    return ports;
}

// Why a port could not be opened, for the log; a permission problem is also explained on stderr.
QString openFailure(const QSerialPort &port)
{
    switch (port.error()) {
    case QSerialPort::PermissionError:
        break;
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such port %1").arg(port.portName());
    default:
        return QStringLiteral("%1: %2").arg(port.portName(), port.errorString());
    }
#ifdef Q_OS_LINUX
    qCWarning(lcDevice).noquote() << QStringLiteral("no permission to open %1; add your user to the dialout group "
                                                    "(sudo usermod -aG dialout $USER) and log in again")
                                         .arg(port.portName());
#else
    qCWarning(lcDevice).noquote()
        << QStringLiteral("no permission to open %1 (is another program using it?)").arg(port.portName());
#endif
    return QStringLiteral("no permission to open %1").arg(port.portName());
}

} // namespace

struct SerialDriver::OpenPort {
    std::unique_ptr<QSerialPort> port;
    QByteArray leftover; // received before the port went away
    bool gone = false;
};

QList<SerialPortEntry> listedSerialPorts(const QList<SerialPortDescription> &ports, const QStringList &extraPorts)
{
    QList<SerialPortDescription> ftdi;
    std::copy_if(ports.begin(), ports.end(), std::back_inserter(ftdi), [](const SerialPortDescription &p) {
        return p.hasVendorIdentifier && p.vendorIdentifier == kFtdiVendorIdentifier;
    });
    std::stable_sort(ftdi.begin(), ftdi.end(), [](const SerialPortDescription &a, const SerialPortDescription &b) {
        return a.portName < b.portName;
    });

    QList<SerialPortEntry> entries;
    for (const SerialPortDescription &p : ftdi)
        entries.append({deviceText(p.serialNumber.isEmpty() ? p.portName : p.serialNumber), p.portName});
    for (const QString &name : extraPorts)
        entries.append({deviceText(name), name});
    return entries;
}

SerialDriver::SerialDriver(QStringList extraPorts)
    : m_extraPorts(std::move(extraPorts))
{}

SerialDriver::~SerialDriver() = default;

QList<SerialPortEntry> SerialDriver::currentPorts() const
{
    return listedSerialPorts(systemPorts(), m_extraPorts);
}

std::uint32_t SerialDriver::listDeviceCount(std::uint32_t *count)
{
    m_snapshot = currentPorts();
    *count = static_cast<std::uint32_t>(m_snapshot.size());
    return FtOk;
}

std::uint32_t SerialDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    if (position < 0 || position >= m_snapshot.size())
        return FtDeviceNotFound;
    const QByteArray text = toCodePage(m_snapshot[position].deviceText);
    std::memcpy(buffer, text.constData(), std::min<qsizetype>(text.size(), kSerialBufferSize - 1));
    return FtOk;
}

std::intptr_t SerialDriver::createFile(const char *serial)
{
    // Looked up now, not in an old list: the port names may have changed since.
    const QString wanted = fromCodePage(QByteArrayView(serial, qstrnlen(serial, 4096)));
    const QList<SerialPortEntry> ports = currentPorts();
    const auto entry =
        std::find_if(ports.begin(), ports.end(), [&](const SerialPortEntry &e) { return e.deviceText == wanted; });
    m_openFailure.clear();
    if (entry == ports.end()) {
        m_openFailure = QStringLiteral("no such port");
        return kInvalidHandle;
    }

    auto port = std::make_unique<QSerialPort>();
    port->setPortName(entry->portName);
    if (!port->open(QIODevice::ReadWrite)) {
        m_openFailure = openFailure(*port);
        return kInvalidHandle;
    }
    // Ports without modem lines or settable speeds (pseudo-terminals, some adapters) refuse some of these;
    // that does not keep the port from being used.
    port->setBaudRate(QSerialPort::Baud9600);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->clearError();

    auto open = std::make_unique<OpenPort>();
    open->port = std::move(port);
    OpenPort *raw = open.get();
    // After an unplug QSerialPort repeats its error until the port is closed: close it on the first one.
    QObject::connect(raw->port.get(), &QSerialPort::errorOccurred, raw->port.get(),
                     [this, raw](QSerialPort::SerialPortError error) {
                         if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
                             ++m_portFailures;
                             drainAndClose(*raw);
                         }
                     });
    const std::intptr_t handle = m_nextHandle++;
    m_open.emplace(handle, std::move(open));
    return handle;
}

void SerialDriver::drainAndClose(OpenPort &open)
{
    if (open.gone)
        return;
    open.gone = true;
    open.leftover += open.port->readAll();
    open.port->close();
}

SerialDriver::OpenPort *SerialDriver::portFor(std::intptr_t handle)
{
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : it->second.get();
}

bool SerialDriver::closeHandle(std::intptr_t handle)
{
    const auto it = m_open.find(handle);
    if (it == m_open.end())
        return false;
    // The port object may be inside its own error signal; let it finish before it goes.
    it->second->port->close();
    it->second->port.release()->deleteLater();
    m_open.erase(it);
    return true;
}

bool SerialDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    *written = 0;
    OpenPort *open = portFor(handle);
    if (!open || open->gone)
        return false;
    QSerialPort &port = *open->port;
    if (port.write(data, size) < 0)
        return false;
    const QDeadlineTimer deadline(kWriteTimeoutMs);
    while (port.bytesToWrite() > 0 && !open->gone && !deadline.hasExpired()) {
        if (!port.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (open->gone)
        return false;
    *written = static_cast<std::uint32_t>(std::max<qint64>(0, qint64(size) - port.bytesToWrite()));
    return *written == size;
}

std::uint32_t SerialDriver::getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                      std::uint32_t *events)
{
    *rxQueue = 0;
    *txQueue = 0;
    *events = 0;
    OpenPort *open = portFor(handle);
    if (!open)
        return FtInvalidHandle;
    if (!open->gone) {
        // Takes in what the operating system holds, without waiting.
        open->port->waitForReadyRead(0);
        if (!open->gone)
            open->port->clearError();
    }
    if (open->gone) {
        *rxQueue = static_cast<std::uint32_t>(open->leftover.size());
        return open->leftover.isEmpty() ? FtIoError : FtOk;
    }
    *rxQueue = static_cast<std::uint32_t>(std::min<qint64>(open->port->bytesAvailable(), UINT32_MAX));
    *txQueue = static_cast<std::uint32_t>(std::min<qint64>(open->port->bytesToWrite(), UINT32_MAX));
    return FtOk;
}

bool SerialDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    *read = 0;
    OpenPort *open = portFor(handle);
    if (!open)
        return false;
    if (open->gone) {
        if (open->leftover.isEmpty())
            return false;
        const qsizetype n = std::min<qsizetype>(size, open->leftover.size());
        std::memcpy(buffer, open->leftover.constData(), n);
        open->leftover.remove(0, n);
        *read = static_cast<std::uint32_t>(n);
        return true;
    }
    const qint64 n = open->port->read(buffer, size);
    if (n < 0)
        return false;
    *read = static_cast<std::uint32_t>(n);
    return true;
}
