#include "session/board_session.h"

#include "device/code_page.h"
#include "device/comms.h"
#include "device/driver.h"
#include "device/ftdi.h"
#include "device/line_assembly.h"
#include "device/played_feed.h"
#include "device/report.h"
#include "session/poller.h"
#include "session/session_texts.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>

qint64 monotonicClockMs()
{
    // The system's own monotonic clock (since boot on Linux): the same in every process, so the times of two runs
    // in one journal can be set side by side.
    return QDeadlineTimer::current().deadline();
}

namespace {

qint64 wallMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

BoardSession::BoardSession(Driver &driver, Clock monotonicClock, Clock wallClock)
    : m_driver(driver)
    , m_monotonic(monotonicClock ? std::move(monotonicClock) : Clock(monotonicClockMs))
    , m_wall(wallClock ? std::move(wallClock) : Clock(wallMs))
    , m_poller(std::make_unique<Poller>(*this))
    , m_played(driver.playedFeed())
{}

BoardSession::Action::Action(BoardSession &session)
    : m_session(session)
{
    ++m_session.m_actionDepth;
}

BoardSession::Action::~Action()
{
    if (--m_session.m_actionDepth == 0)
        m_session.m_refusalSaid = false;
}

void BoardSession::sayRefusal()
{
    if (m_refusalSaid)
        return;
    m_refusalSaid = true;
    const QString text = texts::notSentRefused(m_played->refusal());
    logLine(text);
    showStatus(text);
}

BoardSession::~BoardSession() = default;

PollLease BoardSession::wantPolling(std::chrono::milliseconds interval, const QString &why)
{
    return m_poller->lease(interval, why);
}

void BoardSession::pollingChanged(const QString &why)
{
    m_lastPollMs = m_poller->isActive() ? m_monotonic() : -1;
    followReadings(why);
}

std::optional<GapReason> BoardSession::readingsGap() const
{
    if (m_lost)
        return GapReason::BoardLost;
    if (m_deviceHandle <= 0 || m_closed)
        return GapReason::NoBoard;
    if (!m_poller->isActive())
        return GapReason::PollingStopped;
    // A recording's readings come whatever is ticked here.
    if (m_played)
        return std::nullopt;
    if (!m_setup.analogRequestsOn)
        return GapReason::RequestsOff;
    if (m_setup.tickedChannels.none())
        return GapReason::NoChannel;
    return std::nullopt;
}

void BoardSession::followReadings(const QString &detail)
{
    const std::optional<GapReason> gap = readingsGap();
    // A recording says its own losses as gaps: only what is done here is said here.
    const bool said = !m_played || gap == GapReason::NoBoard || gap == GapReason::PollingStopped;
    if (gap && m_readingsFlow && said)
        publishGap(*gap, 0, detail);
    m_readingsFlow = !gap;
}

void BoardSession::publishGap(GapReason reason, int channel, const QString &detail)
{
    stampNow();
    const QString text = texts::gapReason(reason);
    SessionEvent gap = event(SessionEvent::Kind::Gap);
    gap.index = channel;
    gap.value = std::int32_t(reason);
    gap.text = text;
    gap.textString = &text;
    gap.detail = detail;
    m_events.publish(gap);
}

void BoardSession::stampNow()
{
    if (m_played) {
        const PlayedFeed::Moment moment = m_played->playedMoment();
        m_stamp = {moment.monoMs, moment.wallMs};
        return;
    }
    m_stamp = {m_monotonic(), m_wall()};
}

void BoardSession::publishBytes(QByteArrayView bytes)
{
    SessionEvent read = event(SessionEvent::Kind::BytesReceived);
    read.bytes = bytes;
    read.text = pendingLine;
    read.index = int(m_setup.tickedMask());
    read.value = std::int32_t(m_setup.outputPins());
    m_events.publish(read);
}

SessionEvent BoardSession::event(SessionEvent::Kind kind) const
{
    SessionEvent event;
    event.kind = kind;
    event.stamp = m_stamp;
    event.source = this;
    return event;
}

void BoardSession::publish(SessionEvent::Kind kind, const QString &text)
{
    SessionEvent told = event(kind);
    told.text = text;
    told.textString = &text;
    m_events.publish(told);
}

void BoardSession::publish(SessionEvent::Kind kind, int index, std::int32_t value)
{
    SessionEvent told = event(kind);
    told.index = index;
    told.value = value;
    m_events.publish(told);
}

void BoardSession::logLine(const QString &text)
{
    stampNow();
    publish(SessionEvent::Kind::LogLine, text);
}

void BoardSession::showStatus(const QString &text)
{
    stampNow();
    publish(SessionEvent::Kind::StatusText, text);
}

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
    // The board held until now stops giving readings here.
    if (m_readingsFlow) {
        publishGap(GapReason::NoBoard, 0, QStringLiteral("another board chosen"));
        m_readingsFlow = false;
    }
    // A board closed already (at exit) is not closed again: its handle may be another board's by now.
    if (m_deviceHandle > 0 && !m_closed)
        m_driver.closeHandle(m_deviceHandle);
    // The driver is asked again: the list may be older than the boards attached now.
    m_serial = DeviceSerial(m_driver, position);
    m_deviceHandle = OpenDevice(m_driver, m_serial);
    m_sentSinceSelection.clear();
    m_lost = false;
    m_closed = false;
    stampNow();
    publish(SessionEvent::Kind::Selected, m_serial);
    showSelected();
    if (m_deviceHandle <= 0) {
        // Said plainly: otherwise a failed open looks exactly like a selection that worked.
        const QString reason = m_driver.openFailureReason();
        SessionEvent failed = event(SessionEvent::Kind::OpenFailed);
        failed.text = m_serial;
        failed.textString = &m_serial;
        failed.detail = reason;
        m_events.publish(failed);
        publish(SessionEvent::Kind::LogLine, texts::deviceNotOpenedLog(m_serial, reason));
        publish(SessionEvent::Kind::StatusText, texts::deviceNotOpenedStatus(m_serial));
    }
    followReadings();
    return m_serial;
}

void BoardSession::showSelected()
{
    const QString selected = texts::deviceSelected(m_serial);
    publish(SessionEvent::Kind::LogLine, selected);
    publish(SessionEvent::Kind::StatusText, selected);
}

void BoardSession::closeDevice()
{
    // Closed once: a handle closed twice may by then be another board's.
    const bool wasOpen = !m_closed && m_deviceHandle > 0;
    if (wasOpen)
        m_driver.closeHandle(m_deviceHandle);
    m_closed = true;
    m_lost = false;
    if (wasOpen) {
        stampNow();
        publish(SessionEvent::Kind::Closed, m_serial);
    }
    // The close says it: no gap beside it.
    m_readingsFlow = false;
}

void BoardSession::releaseBoard()
{
    m_deviceHandle = 0;
    m_serial.clear();
    m_sentSinceSelection.clear();
    m_lost = false;
    m_closed = false;
    m_readingsFlow = false;
    pendingLine.clear();
}

void BoardSession::handOver(BoardSession &to)
{
    to.m_deviceHandle = m_deviceHandle;
    to.m_serial = m_serial;
    to.m_sentSinceSelection = m_sentSinceSelection;
    to.m_lost = m_lost;
    to.m_closed = m_closed;
    to.m_nextLookMs = m_nextLookMs;
    to.m_reconnect = m_reconnect;
    to.m_readCap = m_readCap;
    to.pendingLine = pendingLine;
    to.m_setup = m_setup;
    // Nobody ticks or unticks for a board in the background: what was ticked is read on.
    to.m_setup.analogRequestsOn = m_setup.tickedChannels.any();
    to.m_readingsFlow = !to.readingsGap();
    releaseBoard();
}

void BoardSession::adopt(BoardSession &from)
{
    if (m_readingsFlow) {
        publishGap(GapReason::NoBoard, 0, QStringLiteral("another board chosen"));
        m_readingsFlow = false;
    }
    if (m_deviceHandle > 0 && !m_closed)
        m_driver.closeHandle(m_deviceHandle);
    const bool requestsOn = m_setup.analogRequestsOn;
    // The board's readings, as they came in the background: if the windows here take no readings, that is a gap.
    from.handOver(*this);
    m_setup.analogRequestsOn = requestsOn;
    stampNow();
    publish(SessionEvent::Kind::Selected, m_serial);
    showSelected();
    for (const SetupAspect aspect : {SetupAspect::Direction, SetupAspect::Level, SetupAspect::Monitoring,
                                     SetupAspect::Tick, SetupAspect::AnalogRequests})
        publishSetup(0, aspect);
    followReadings();
}

bool BoardSession::transmit(const QString &command, int pollPeriodMs, std::int32_t pollChannels)
{
    stampNow();
    // A recording takes nothing: what would be sent goes nowhere, and the board is not lost for it.
    const bool written = !m_played && SendCommand(m_driver, m_deviceHandle, command);
    SessionEvent sent = event(SessionEvent::Kind::CommandSent);
    sent.text = command;
    sent.textString = &command;
    sent.flag = written;
    sent.index = pollPeriodMs;
    sent.value = pollChannels;
    m_events.publish(sent);
    if (!written && m_deviceHandle > 0 && !m_played)
        markLost();
    return written;
}

bool BoardSession::writeRaw(const QByteArray &bytes)
{
    const Action action(*this);
    if (m_deviceHandle <= 0 || m_lost || m_closed)
        return false;
    if (m_played) {
        sayRefusal();
        return false;
    }
    stampNow();
    std::uint32_t written = 0;
    const bool ok = m_driver.writeFile(m_deviceHandle, bytes.constData(), std::uint32_t(bytes.size()), &written);
    const QString text = fromCodePage(bytes);
    SessionEvent sent = event(SessionEvent::Kind::CommandSent);
    sent.text = text;
    sent.textString = &text;
    sent.flag = ok;
    m_events.publish(sent);
    if (!ok)
        markLost();
    return ok;
}

qsizetype BoardSession::sendSaying(const QString &command)
{
    const bool noBoard = m_deviceHandle <= 0 || m_lost || m_closed;
    transmit(command);
    // The log says what the operator did; the status line says that it went nowhere.
    if (noBoard)
        showStatus(texts::notSentNoBoard());
    else if (m_played)
        sayRefusal();
    return countOutsideCodePage(command);
}

void BoardSession::sayUnsendable(qsizetype characters)
{
    // The board speaks 8-bit text: what has no byte went out as '?', and the operator hears so once per send.
    if (characters > 0)
        logLine(texts::notSentAsTyped(characters));
}

void BoardSession::send(const QString &command)
{
    const Action action(*this);
    sayUnsendable(sendSaying(command));
}

void BoardSession::sendTyped(QStringView text)
{
    const Action action(*this);
    const qsizetype unsendable = sendSaying(typedCommand(text));
    logLine(texts::typed(text));
    sayUnsendable(unsendable);
}

namespace {

// Pin commands of one kind replace each other: a pin's direction, its level, its monitoring.
int pinCommandSlot(PinAction action)
{
    switch (action) {
    case PinAction::Input:
    case PinAction::Output:
        return 0;
    case PinAction::Set:
    case PinAction::Clear:
        return 1;
    case PinAction::MonitorOn:
    case PinAction::MonitorOff:
        break;
    }
    return 2;
}

} // namespace

void BoardSession::sendPinCommand(int pin, PinAction action)
{
    if (isLoggedPinAction(action))
        logLine(pinCommandText(pin, action));
    send(pinCommand(pin, action));
    // Kept to put this board back as it was told, should it go away and return.
    std::erase_if(m_sentSinceSelection, [pin, action](const SentPinCommand &sent) {
        return sent.pin == pin && pinCommandSlot(sent.action) == pinCommandSlot(action);
    });
    m_sentSinceSelection.push_back({pin, action});
}

BoardSetup BoardSession::toldSinceSelection() const
{
    BoardSetup told;
    told.tickedChannels = m_setup.tickedChannels;
    told.analogRequestsOn = m_setup.analogRequestsOn;
    for (const SentPinCommand &sent : m_sentSinceSelection) {
        const std::size_t pin = std::size_t(sent.pin);
        switch (sent.action) {
        case PinAction::Input:
        case PinAction::Output:
            told.pinIsOutput[pin] = sent.action == PinAction::Output ? 1 : 0;
            break;
        case PinAction::Set:
        case PinAction::Clear:
            told.pinOutputLevel[pin] = sent.action == PinAction::Set ? 1 : 0;
            break;
        case PinAction::MonitorOn:
        case PinAction::MonitorOff:
            told.monitoredPins.set(pin, sent.action == PinAction::MonitorOn);
            break;
        }
    }
    return told;
}

void BoardSession::publishSetup(int index, SetupAspect aspect)
{
    stampNow();
    publish(SessionEvent::Kind::SetupChanged, index, std::int32_t(aspect));
}

void BoardSession::makePinOutput(int pin)
{
    const Action action(*this);
    if (!isPin(pin))
        return;
    // The level goes out before the direction, so the pin never drives a level it was not told.
    sendPinCommand(pin, levelAction(m_setup.outputLevel(pin)));
    m_setup.pinIsOutput[std::size_t(pin)] = 1;
    publishSetup(pin, SetupAspect::Direction);
    sendPinCommand(pin, PinAction::Output);
}

void BoardSession::makePinOutputAt(int pin, bool high)
{
    const Action action(*this);
    if (!isPin(pin))
        return;
    m_setup.pinOutputLevel[std::size_t(pin)] = high ? 1 : 0;
    publishSetup(pin, SetupAspect::Level);
    makePinOutput(pin);
}

void BoardSession::makePinInput(int pin)
{
    const Action action(*this);
    if (!isPin(pin))
        return;
    m_setup.pinIsOutput[std::size_t(pin)] = 0;
    publishSetup(pin, SetupAspect::Direction);
    sendPinCommand(pin, PinAction::Input);
}

void BoardSession::setPinLevel(int pin, bool high)
{
    const Action action(*this);
    if (!isPin(pin) || m_setup.pinIsOutput[std::size_t(pin)] != 1)
        return;
    m_setup.pinOutputLevel[std::size_t(pin)] = high ? 1 : 0;
    sendPinCommand(pin, levelAction(high));
    publishSetup(pin, SetupAspect::Level);
}

void BoardSession::setPinMonitored(int pin, bool on)
{
    const Action action(*this);
    if (!isPin(pin) || m_setup.isMonitored(pin) == on)
        return;
    m_setup.monitoredPins.set(std::size_t(pin), on);
    sendPinCommand(pin, on ? PinAction::MonitorOn : PinAction::MonitorOff);
    publishSetup(pin, SetupAspect::Monitoring);
}

void BoardSession::forgetMonitoredPins()
{
    if (m_setup.monitoredPins.none())
        return;
    m_setup.monitoredPins.reset();
    publishSetup(0, SetupAspect::Monitoring);
}

void BoardSession::setChannelTicked(int channel, bool on)
{
    if (!isChannel(channel) || m_setup.isTicked(channel) == on)
        return;
    m_setup.tickedChannels.set(std::size_t(channel), on);
    publishSetup(channel, SetupAspect::Tick);
    // The others may go on; this one's readings stop here (a recording says so itself).
    if (!on && m_readingsFlow && m_setup.tickedChannels.any() && !m_played)
        publishGap(GapReason::ChannelUnticked, channel, QString());
    followReadings();
}

void BoardSession::forgetTickedChannels()
{
    if (m_setup.tickedChannels.none())
        return;
    m_setup.tickedChannels.reset();
    publishSetup(0, SetupAspect::Tick);
    followReadings();
}

void BoardSession::setAnalogRequestsOn(bool on)
{
    if (m_setup.analogRequestsOn == on)
        return;
    m_setup.analogRequestsOn = on;
    publishSetup(0, SetupAspect::AnalogRequests);
    followReadings();
}

void BoardSession::requestPinReport(int pin)
{
    const Action action(*this);
    // The board reports a pin's level when its monitoring is switched on, even when it was on already.
    if (isPin(pin) && m_setup.isMonitored(pin))
        send(pinCommand(pin, PinAction::MonitorOn));
}

void BoardSession::requestReading(int channel)
{
    if (!isChannel(channel))
        return;
    std::bitset<kLastChannel + 1> one;
    one.set(std::size_t(channel));
    transmit(analogRequests(one));
}

void BoardSession::markLost()
{
    if (m_lost || m_closed)
        return;
    m_lost = true;
    m_nextLookMs = m_monotonic() + kLookIntervalMs;
    stampNow();
    publish(SessionEvent::Kind::Lost, m_serial);
    const QString lost = texts::deviceLost(m_serial);
    publish(SessionEvent::Kind::LogLine, lost);
    publish(SessionEvent::Kind::StatusText, lost);
    followReadings();
}

void BoardSession::lookForLostBoard()
{
    const qint64 now = m_monotonic();
    // A recorded board is back the moment the recording says so.
    if (!m_reconnect || (now < m_nextLookMs && !m_played))
        return;
    m_nextLookMs = now + kLookIntervalMs;
    // The calls a scan makes; the device list is left alone.
    if (!scanDevices().contains(m_serial))
        return;
    // The old handle is dead even though the board is back: a new one is needed.
    if (m_deviceHandle > 0)
        m_driver.closeHandle(m_deviceHandle);
    m_deviceHandle = OpenDevice(m_driver, m_serial);
    if (m_deviceHandle <= 0)
        return; // listed but not ready yet; looked for again later
    m_lost = false;
    stampNow();
    publish(SessionEvent::Kind::Back, m_serial);
    showSelected();
    restoreBoard();
    followReadings();
}

void BoardSession::restoreBoard()
{
    // What this board was told since it was selected, in the order it was told, each pin's direction, level and
    // monitoring once, as last told; an output's level goes out before its direction, as the pins window does.
    const std::vector<SentPinCommand> told = m_sentSinceSelection;
    std::bitset<kLastPin + 1> levelSent;
    const auto resend = [this](int pin, PinAction action) {
        if (isLoggedPinAction(action))
            logLine(pinCommandText(pin, action));
        transmit(pinCommand(pin, action));
    };
    for (const SentPinCommand &sent : told) {
        if (m_lost)
            return;
        const std::size_t pin = std::size_t(sent.pin);
        if (pinCommandSlot(sent.action) == 1) {
            if (!levelSent.test(pin))
                resend(sent.pin, sent.action);
            levelSent.set(pin);
            continue;
        }
        if (sent.action == PinAction::Output && !levelSent.test(pin)) {
            const auto level = std::find_if(told.begin(), told.end(), [&sent](const SentPinCommand &other) {
                return other.pin == sent.pin && pinCommandSlot(other.action) == 1;
            });
            if (level != told.end()) {
                resend(sent.pin, level->action);
                levelSent.set(pin);
            }
        }
        resend(sent.pin, sent.action);
    }
}

void BoardSession::poll()
{
    // Every poll counts, with a board or without: the first after a selection is no stall.
    noteStall();
    if (m_deviceHandle == 0 || m_closed)
        return;
    if (m_lost) {
        lookForLostBoard();
        // Requests resume with the next poll; until then only what a gone board still holds is read.
        if (m_lost)
            receive();
        return;
    }
    if (m_setup.analogRequestsOn)
        requestAnalogReadings();
    receive();
}

void BoardSession::noteStall()
{
    // A recording's stalls are in the recording.
    if (m_lastPollMs < 0 || m_played)
        return;
    const qint64 now = m_monotonic();
    const qint64 late = now - m_lastPollMs - m_poller->interval();
    m_lastPollMs = now;
    // Only a gap in readings that were coming: the process stood still (suspended, or blocked elsewhere).
    if (late > kStallMs && m_readingsFlow)
        publishGap(GapReason::PollStalled, 0, QStringLiteral("%1 ms without a poll").arg(late + m_poller->interval()));
}

void BoardSession::requestAnalogReadings()
{
    stampNow();
    publish(SessionEvent::Kind::AnalogPoll);
    const QString batch = analogRequests(m_setup.tickedChannels);
    if (!batch.isEmpty())
        transmit(batch, std::max(1, m_poller->interval()), std::int32_t(m_setup.tickedChannels.to_ulong()));
}

void BoardSession::receive()
{
    if (!m_played) {
        receiveOnce(m_readCap);
        return;
    }
    // A recording: one recorded read after another, each with its own time, and what happened between them, up to
    // as many bytes as one poll reads.
    qint64 left = m_readCap;
    while (left > 0 && !m_closed) {
        const std::intptr_t handle = m_deviceHandle;
        const qint64 read = receiveOnce(std::uint32_t(left));
        if (read > 0) {
            left -= read;
            continue;
        }
        if (m_closed || !playHappening(handle))
            break;
    }
}

bool BoardSession::playHappening(std::intptr_t handle)
{
    PlayedFeed::Happening happening;
    if (!m_played->takeHappening(handle, happening))
        return false;
    switch (happening.kind) {
    case PlayedFeed::Happening::Kind::Gap:
        publishGap(GapReason(happening.reason), happening.channel, happening.detail);
        break;
    case PlayedFeed::Happening::Kind::Poll:
        // The channels the recorded poll asked for are the ones ticked, as they were.
        for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
            setChannelTicked(channel, (happening.channels >> channel) & 1);
        setAnalogRequestsOn(happening.channels != 0);
        break;
    case PlayedFeed::Happening::Kind::Command:
        logLine(texts::recordedCommand(happening.text));
        break;
    }
    return true;
}

qint64 BoardSession::receiveOnce(std::uint32_t cap)
{
    const std::intptr_t handle = m_deviceHandle;
    std::uint32_t queued = 0;
    std::uint32_t transmitQueue = 0;
    std::uint32_t events = 0;
    const std::uint32_t status = m_driver.getStatus(handle, &queued, &transmitQueue, &events);
    if (handle > 0 && isDeviceFailure(status))
        markLost();
    if (queued == 0)
        return -1;

    // An absurd count is not allocated blindly: what is beyond the cap is read on the next polls.
    const std::uint32_t toRead = std::min(queued, cap);
    if (m_receiveBuffer.size() < qsizetype(toRead) + 1)
        m_receiveBuffer.resize(qsizetype(toRead) + 1);
    char *buffer = m_receiveBuffer.data();
    buffer[0] = 0;
    std::uint32_t read = 0;
    if (!m_driver.readFile(handle, buffer, toRead, &read)) {
        if (handle > 0)
            markLost();
        return -1;
    }
    // Everything this read brought arrived by now: its lines share this time.
    stampNow();
    if (queued == 1)
        publish(SessionEvent::Kind::LogLine, texts::singleByte(static_cast<unsigned char>(buffer[0])));
    // A driver claiming more than was asked for is not believed.
    const std::uint32_t taken = std::min(read, toRead);
    m_bytesReceived += taken;
    if (m_receiveTap)
        m_receiveTap(buffer, taken);
    QElapsedTimer handling;
    handling.start();
    if (m_events.isWanted(SessionEvent::Kind::BytesReceived))
        publishBytes(QByteArrayView(buffer, taken));
    assembleLines(pendingLine, buffer, taken, [this] { interpretLine(); });
    adaptReadCap(taken, handling.nsecsElapsed());
    return taken;
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
    const LineMeaning meaning = meaningOf(report, m_setup);
    if (meaning.level)
        publish(SessionEvent::Kind::PinLevel, report.pin, report.state != 0 ? 1 : 0);
    if (meaning.reading)
        publish(SessionEvent::Kind::Reading, report.channel, report.value);
    const bool consumed = meaning.consumed;
    if (m_events.isWanted(SessionEvent::Kind::LineReceived)) {
        SessionEvent line = event(SessionEvent::Kind::LineReceived);
        line.text = pendingLine;
        line.flag = consumed;
        line.report = &report;
        m_events.publish(line);
    }
    if (!consumed) {
        publish(SessionEvent::Kind::LogLine, texts::received(pendingLine));
        publish(SessionEvent::Kind::LogLine, QString());
    }
    pendingLine.resize(0);
}
