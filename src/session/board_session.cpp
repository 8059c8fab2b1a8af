#include "session/board_session.h"

#include "device/command_text.h"
#include "device/comms.h"
#include "device/driver.h"
#include "device/ftdi.h"
#include "device/line_assembly.h"
#include "device/report.h"
#include "session/front_end.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

qint64 monotonicMs()
{
    static const QElapsedTimer start = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return start.elapsed();
}

} // namespace

BoardSession::BoardSession(Driver &driver, SessionFrontEnd &frontEnd, AppState &state, Clock clock)
    : m_driver(driver)
    , m_frontEnd(frontEnd)
    , m_state(state)
    , m_clock(clock ? std::move(clock) : Clock(monotonicMs))
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
    m_serial = DeviceSerial(m_driver, position);
    m_state.deviceHandle = OpenDevice(m_driver, m_serial);
    m_lost = false;
    m_closed = false;
    showSelected();
    if (m_state.deviceHandle <= 0) {
        // Said plainly: otherwise a failed open looks exactly like a selection that worked.
        const QString reason = m_driver.openFailureReason();
        m_frontEnd.logLine(QStringLiteral("Device could not be opened : ") + m_serial +
                           (reason.isEmpty() ? QString() : QStringLiteral(" - ") + reason));
        m_frontEnd.setStatusText(QStringLiteral("Device not opened : ") + m_serial);
    }
    return m_serial;
}

void BoardSession::showSelected()
{
    const QString selected = QStringLiteral("Device selected : ") + m_serial;
    m_frontEnd.logLine(selected);
    m_frontEnd.setStatusText(selected);
}

void BoardSession::closeDevice()
{
    if (m_state.deviceHandle > 0)
        m_driver.closeHandle(m_state.deviceHandle);
    m_closed = true;
    m_lost = false;
}

void BoardSession::send(QStringView text)
{
    if (!SendCommand(m_driver, m_state.deviceHandle, text) && m_state.deviceHandle > 0)
        markLost();
}

void BoardSession::markLost()
{
    if (m_lost || m_closed)
        return;
    m_lost = true;
    m_nextLookMs = m_clock() + kLookIntervalMs;
    const QString lost = QStringLiteral("Device lost : ") + m_serial;
    m_frontEnd.logLine(lost);
    m_frontEnd.setStatusText(lost);
}

void BoardSession::lookForLostBoard()
{
    const qint64 now = m_clock();
    if (!m_reconnect || now < m_nextLookMs)
        return;
    m_nextLookMs = now + kLookIntervalMs;
    // The calls a scan makes; the device list is left alone.
    if (!scanDevices().contains(m_serial))
        return;
    // The old handle is dead even though the board is back: a new one is needed.
    if (m_state.deviceHandle > 0)
        m_driver.closeHandle(m_state.deviceHandle);
    m_state.deviceHandle = OpenDevice(m_driver, m_serial);
    if (m_state.deviceHandle <= 0)
        return; // listed but not ready yet; looked for again later
    m_lost = false;
    showSelected();
    restoreBoard();
}

void BoardSession::restoreBoard()
{
    for (int pin = kFirstPin; pin <= kLastPin && !m_lost; ++pin) {
        if (m_state.pinIsOutput[pin] == 0)
            continue;
        sendLogged(pinCommand(pin, m_state.pinOutputLevel[pin] != 0 ? u" set" : u" clear"));
        sendLogged(pinCommand(pin, u" output"));
    }
    for (int pin = kFirstPin; pin <= kLastPin && !m_lost; ++pin) {
        if (m_frontEnd.isPinMonitored(pin))
            send(pinCommand(pin, u" monitor on").append(kLf));
    }
}

void BoardSession::sendLogged(const QString &command)
{
    m_frontEnd.logLine(command);
    send(QString(command).append(kCrLf));
}

void BoardSession::poll()
{
    if (m_state.deviceHandle == 0 || m_closed)
        return;
    if (m_lost) {
        lookForLostBoard();
        // Requests resume with the next poll; until then only what a gone board still holds is read.
        if (m_lost)
            receive();
        return;
    }
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
    const std::uint32_t status = m_driver.getStatus(handle, &queued, &transmitQueue, &events);
    if (handle > 0 && isDeviceFailure(status))
        markLost();
    if (queued == 0)
        return;

    // An absurd count is not allocated blindly: what is beyond the cap is read on the next polls.
    const std::uint32_t toRead = std::min(queued, m_readCap);
    if (m_receiveBuffer.size() < qsizetype(toRead) + 1)
        m_receiveBuffer.resize(qsizetype(toRead) + 1);
    char *buffer = m_receiveBuffer.data();
    buffer[0] = 0;
    std::uint32_t read = 0;
    if (!m_driver.readFile(handle, buffer, toRead, &read)) {
        if (handle > 0)
            markLost();
        return;
    }
    if (queued == 1)
        m_frontEnd.logLine(QStringLiteral("byte : ") + QString::number(static_cast<unsigned char>(buffer[0])));
    // A driver claiming more than was asked for is not believed.
    const std::uint32_t taken = std::min(read, toRead);
    m_bytesReceived += taken;
    QElapsedTimer handling;
    handling.start();
    assembleLines(pendingLine, buffer, taken, [this] { interpretLine(); });
    adaptReadCap(taken, handling.nsecsElapsed());
}

void BoardSession::adaptReadCap(std::uint32_t bytes, qint64 nanoseconds)
{
    // Only a full read says how fast bytes are handled; a trickle says nothing about a flood.
    if (bytes < m_readCap / 2 || nanoseconds <= 0)
        return;
    const double bytesPerNs = double(bytes) / double(nanoseconds);
    const double fitting = bytesPerNs * double(kPollBudgetMs) * 1e6;
    m_readCap = std::uint32_t(std::clamp(fitting, double(kMinReadCap), double(kMaxReadCap)));
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
    m_frontEnd.lineReceived(pendingLine, report, consumed);
    if (!consumed) {
        m_frontEnd.logLine(QStringLiteral("received : ") + pendingLine);
        m_frontEnd.logLine(QString());
    }
    pendingLine.resize(0);
}
