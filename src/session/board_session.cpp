#include "session/board_session.h"

#include "device/command_text.h"
#include "device/comms.h"
#include "device/driver.h"
#include "device/ftdi.h"
#include "device/line_assembly.h"
#include "device/report.h"
#include "session/front_end.h"

#include <algorithm>

QString deviceSelectedText(const QString &serial)
{
    return QStringLiteral("Device selected : ") + serial;
}

BoardSession::BoardSession(Driver &driver, SessionFrontEnd &frontEnd, AppState &state)
    : m_driver(driver)
    , m_frontEnd(frontEnd)
    , m_state(state)
{}

QStringList BoardSession::scanDevices()
{
    QStringList serials;
    const std::int32_t count = DeviceCount(m_driver);
    for (std::int32_t position = 0; position < count; ++position)
        serials.append(DeviceSerial(m_driver, position));
    return serials;
}

QString BoardSession::selectDevice(std::int32_t position)
{
    if (m_state.deviceHandle > 0)
        m_driver.closeHandle(m_state.deviceHandle);
    // The driver is asked again: the list may be older than the boards attached now.
    const QString serial = DeviceSerial(m_driver, position);
    m_state.deviceHandle = OpenDevice(m_driver, serial);
    const QString selected = deviceSelectedText(serial);
    m_frontEnd.logLine(selected);
    m_frontEnd.setStatusText(selected);
    return serial;
}

void BoardSession::closeDevice()
{
    if (m_state.deviceHandle > 0)
        m_driver.closeHandle(m_state.deviceHandle);
}

void BoardSession::send(QStringView text)
{
    SendCommand(m_driver, m_state.deviceHandle, text);
}

void BoardSession::sendLogged(const QString &command)
{
    m_frontEnd.logLine(command);
    send(QString(command).append(kCrLf));
}

void BoardSession::poll()
{
    if (m_state.deviceHandle == 0)
        return;
    if (m_frontEnd.analogRequestsOn())
        requestAnalogReadings();
    receive();
}

void BoardSession::requestAnalogReadings()
{
    QString batch;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        if (m_frontEnd.isChannelTicked(channel))
            batch += analogRequest(channel);
        else
            m_frontEnd.blankReading(channel);
    }
    if (!batch.isEmpty())
        send(batch);
}

void BoardSession::receive()
{
    const std::intptr_t handle = m_state.deviceHandle;
    std::uint32_t queued = 0;
    std::uint32_t transmitQueue = 0;
    std::uint32_t events = 0;
    m_driver.getStatus(handle, &queued, &transmitQueue, &events);
    if (queued == 0)
        return;

    // An absurd count is not allocated blindly: what is beyond the cap is read on the next polls.
    const std::uint32_t toRead = std::min(queued, kMaxReadPerTick);
    if (m_receiveBuffer.size() < qsizetype(toRead) + 1)
        m_receiveBuffer.resize(qsizetype(toRead) + 1);
    char *buffer = m_receiveBuffer.data();
    buffer[0] = 0;
    std::uint32_t read = 0;
    if (!m_driver.readFile(handle, buffer, toRead, &read))
        return;
    if (queued == 1)
        m_frontEnd.logLine(QStringLiteral("byte : ") + QString::number(static_cast<unsigned char>(buffer[0])));
    // A driver claiming more than was asked for is not believed.
    assembleLines(pendingLine, buffer, std::min(read, toRead), [this] { interpretLine(); });
}

void BoardSession::interpretLine()
{
    if (pendingLine.isEmpty())
        return;
    const Report report = parseReport(pendingLine);
    bool consumed = false;
    if (report.applicable) {
        switch (report.kind) {
        case Report::Kind::Pin:
            // An output keeps the colour the digital pins window gave it.
            if (m_state.pinIsOutput[report.pin] == 0)
                m_frontEnd.showPinLevel(report.pin, report.state != 0);
            break;
        case Report::Kind::Analog:
            m_frontEnd.showReading(report.channel, report.value);
            consumed = m_frontEnd.isChannelTicked(report.channel);
            break;
        case Report::Kind::Debounce:
            // No window has a place for the count; the logged line shows it.
        case Report::Kind::Empty:
        case Report::Kind::Other:
            break;
        }
    }
    if (!consumed) {
        m_frontEnd.lineReceived(pendingLine, report);
        m_frontEnd.logLine(QStringLiteral("received : ") + pendingLine);
        m_frontEnd.logLine(QString());
    }
    pendingLine.resize(0);
}
