#include "device/serial_driver.h"

#include "device/code_page.h"
#include "device/diagnostics.h"
#include "device/serial_link.h"

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

void explainPermission(const QString &portName)
{
#ifdef Q_OS_LINUX
    qCWarning(lcDevice).noquote() << QStringLiteral("no permission to open %1; add your user to the dialout group "
                                                    "(sudo usermod -aG dialout $USER) and log in again")
                                         .arg(portName);
#else
    qCWarning(lcDevice).noquote()
        << QStringLiteral("no permission to open %1 (is another program using it?)").arg(portName);
#endif
}

} // namespace

struct SerialDriver::OpenPort {
    std::unique_ptr<SerialLink> link;
    bool counted = false; // its going away has been counted
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

SerialDriver::SerialDriver(QStringList extraPorts, PortLister lister)
    : m_extraPorts(std::move(extraPorts))
    , m_lister(lister ? std::move(lister) : PortLister(systemPorts))
{}

SerialDriver::~SerialDriver() = default;

QList<SerialPortEntry> SerialDriver::currentPorts()
{
    // Listing the system's ports reads hundreds of files; a scan asks for it once per position.
    if (!m_listedAge.isValid() || m_listedAge.elapsed() > kListingLifeMs) {
        m_listed = listedSerialPorts(m_lister(), m_extraPorts);
        m_listedAge.start();
    }
    return m_listed;
}

std::uint32_t SerialDriver::listDeviceCount(std::uint32_t *count)
{
    *count = static_cast<std::uint32_t>(currentPorts().size());
    return FtOk;
}

std::uint32_t SerialDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    // Asked of the system now, as the vendor's library does: a selection gets the board at that position today,
    // not the one a scan saw.
    const QList<SerialPortEntry> ports = currentPorts();
    if (position < 0 || position >= ports.size())
        return FtDeviceNotFound;
    const QByteArray text = toCodePage(ports[position].deviceText);
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

    SerialLink::OpenResult opened = SerialLink::open(entry->portName);
    if (!opened.link) {
        if (opened.permissionDenied)
            explainPermission(entry->portName);
        m_openFailure = opened.reason;
        return kInvalidHandle;
    }
    auto open = std::make_unique<OpenPort>();
    open->link = std::move(opened.link);
    const std::intptr_t handle = m_nextHandle++;
    m_open.emplace(handle, std::move(open));
    return handle;
}

void SerialDriver::noteIfGone(OpenPort &open)
{
    if (open.link->isGone() && !open.counted) {
        open.counted = true;
        ++m_portFailures;
    }
}

SerialDriver::OpenPort *SerialDriver::portFor(std::intptr_t handle)
{
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : it->second.get();
}

bool SerialDriver::closeHandle(std::intptr_t handle)
{
    return m_open.erase(handle) > 0;
}

bool SerialDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    *written = 0;
    OpenPort *open = portFor(handle);
    if (!open || open->link->isGone())
        return false;
    // Taken whole: a slow port gets the bytes as it can take them, in order.
    const bool ok = open->link->write(data, size);
    noteIfGone(*open);
    *written = ok ? size : 0;
    return ok;
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
    // Takes in what the operating system holds, without waiting.
    open->link->takeIn();
    noteIfGone(*open);
    const QByteArray &received = open->link->received();
    *rxQueue = static_cast<std::uint32_t>(received.size());
    *txQueue = static_cast<std::uint32_t>(std::min<qint64>(open->link->bytesToWrite(), UINT32_MAX));
    // Once gone, what had arrived can still be read; after that every call fails.
    return open->link->isGone() && received.isEmpty() ? FtIoError : FtOk;
}

bool SerialDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    *read = 0;
    OpenPort *open = portFor(handle);
    if (!open)
        return false;
    QByteArray &received = open->link->received();
    if (open->link->isGone() && received.isEmpty())
        return false;
    const qsizetype n = std::min<qsizetype>(size, received.size());
    std::memcpy(buffer, received.constData(), size_t(n));
    received.remove(0, n);
    *read = static_cast<std::uint32_t>(n);
    return true;
}
