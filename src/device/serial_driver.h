#pragma once

#include "device/driver.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

// What the listing needs to know of one serial port.
struct SerialPortDescription {
    QString portName;
    bool hasVendorIdentifier = false;
    quint16 vendorIdentifier = 0;
    QString serialNumber;
};

// One entry of the device list: the text shown and opened (at most 16 characters), and the port behind it.
struct SerialPortEntry {
    QString deviceText;
    QString portName;

    bool operator==(const SerialPortEntry &) const = default;
};

inline constexpr quint16 kFtdiVendorIdentifier = 0x0403;

// The ports offered as devices: FTDI ports ordered by port name, each named by its USB serial number (by its
// port name when it has none), then the extra ports named on the command line, by their port names.
QList<SerialPortEntry> listedSerialPorts(const QList<SerialPortDescription> &ports, const QStringList &extraPorts);

// The operating system's own driver for the converter chip: ports listed through QtSerialPort, opened at the
// chip's power-on defaults (9600 baud, 8 data bits, no parity, 1 stop bit, no flow control) and read only when
// the status call asks what has arrived (see SerialLink), so nothing piles up in the program.
//
// A port that fails to read or hangs up (the board was unplugged) is closed at once; what it had received
// before can still be read, after which status and read fail and writes fail, all without a message.
class SerialDriver : public Driver
{
public:
    // Where the ports come from: the operating system's list unless told otherwise.
    using PortLister = std::function<QList<SerialPortDescription>()>;

    explicit SerialDriver(QStringList extraPorts = {}, PortLister lister = {});
    ~SerialDriver() override;

    std::uint32_t listDeviceCount(std::uint32_t *count) override;
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override;
    std::intptr_t createFile(const char *serial) override;
    bool closeHandle(std::intptr_t handle) override;
    bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) override;
    std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                            std::uint32_t *events) override;
    bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) override;
    QString openFailureReason() const override { return m_openFailure; }

    // How many open ports have gone away (read errors, hang-ups); one per port, since it is closed at the first.
    int portFailures() const { return m_portFailures; }

private:
    struct OpenPort;

    QList<SerialPortEntry> currentPorts();
    OpenPort *portFor(std::intptr_t handle);
    void noteIfGone(OpenPort &open);

    QStringList m_extraPorts;
    PortLister m_lister;
    // One listing serves the calls of one scan (a count, then each position, within microseconds); a selection
    // made later asks the system again.
    QList<SerialPortEntry> m_listed;
    QElapsedTimer m_listedAge;
    static constexpr qint64 kListingLifeMs = 100;
    std::map<std::intptr_t, std::unique_ptr<OpenPort>> m_open;
    std::intptr_t m_nextHandle = 1;
    int m_portFailures = 0;
    QString m_openFailure;
};
