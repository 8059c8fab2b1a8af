#include "network/remote_driver.h"

#include "network/login_name.h"
#include "network/remote_protocol.h"
#include "records/safe_text.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSysInfo>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstring>

QString RemoteDriver::defaultHolder()
{
    QString user;
    for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
        if (user.isEmpty())
            user = qEnvironmentVariable(name);
    }
    // A service or a cron job may run without them: the system still knows who it is.
    if (user.isEmpty())
        user = systemLoginName();
    // Bridges take a holder's name only in the safe set (no line breaks or escapes to forge their audit with).
    return remote::holderNameOf(QStringLiteral("%1@%2 (pid %3)")
                                    .arg(user.isEmpty() ? QStringLiteral("someone") : user, QSysInfo::machineHostName())
                                    .arg(QCoreApplication::applicationPid()));
}

RemoteDriver::RemoteDriver(const BrokerAddress &broker, const QString &prefix, const QString &holder)
    : m_broker(broker)
    , m_prefix(prefix)
    , m_holder(holder)
    // A safe name of at most 64 characters, as bridges take it: the host's name is cut to fit.
    , m_client(safeNameOf(QStringLiteral("vantrel-remote-%1-%2-%3")
                              .arg(QSysInfo::machineHostName().left(20))
                              .arg(QCoreApplication::applicationPid())
                              .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'))))
{
    // Tokens of this process's openings never repeat those of an earlier one that had the same client name.
    m_nextToken = QRandomGenerator::global()->bounded(1u << 30) * 1024ULL + 1;
    initialiseMqttLibrary();
    m_mosquitto = mosquitto_new(m_client.toUtf8().constData(), true, this);
    if (!m_mosquitto) {
        m_startError = QStringLiteral("the MQTT library could not make a client");
        return;
    }
    m_mqtt5 = askForMqtt5(m_mosquitto);
    // Small messages go at once, not held back to be sent with the next (a reading, a board's answer).
    mosquitto_int_option(m_mosquitto, MOSQ_OPT_TCP_NODELAY, 1);
    // Gone without a word (killed, cut off): the broker says so for us, and the bridges free what we held.
    const QByteArray will = (m_prefix + QStringLiteral("/holders/") + m_client).toUtf8();
    mosquitto_will_set(m_mosquitto, will.constData(), 4, "gone", 1, false);
    mosquitto_reconnect_delay_set(m_mosquitto, 1, 5, true);
    mosquitto_connect_callback_set(m_mosquitto, [](mosquitto *, void *self, int result) {
        static_cast<RemoteDriver *>(self)->onConnected(result);
    });
    mosquitto_disconnect_callback_set(
        m_mosquitto, [](mosquitto *, void *self, int) { static_cast<RemoteDriver *>(self)->onDisconnected(); });
    mosquitto_message_callback_set(m_mosquitto, [](mosquitto *, void *self, const mosquitto_message *message) {
        static_cast<RemoteDriver *>(self)->onMessage(*message);
    });
    // A TLS handshake that fails is told only in the library's log.
    mosquitto_log_callback_set(m_mosquitto, [](mosquitto *, void *self, int level, const char *text) {
        if (level != MOSQ_LOG_ERR)
            return;
        if (const std::optional<ConnectionRefusal> refusal = tlsRefusal(QString::fromUtf8(text)))
            static_cast<RemoteDriver *>(self)->onRefused(*refusal);
    });
    if (!applyBrokerSettings(m_mosquitto, m_broker, &m_startError))
        return;
    const QByteArray host = m_broker.host.toUtf8();
    // A short keep-alive: a holder cut off from the broker is noticed, and its boards freed, within seconds.
    mosquitto_connect_async(m_mosquitto, host.constData(), m_broker.port, 5);
    if (const int result = mosquitto_loop_start(m_mosquitto); result != MOSQ_ERR_SUCCESS) {
        m_startError = QString::fromUtf8(mosquitto_strerror(result));
        return;
    }
    m_heart = std::thread([this] { beatHeart(); });
}

RemoteDriver::~RemoteDriver()
{
    std::vector<std::intptr_t> handles;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (const auto &[handle, link] : m_links)
            handles.push_back(handle);
    }
    m_changed.notify_all();
    for (const std::intptr_t handle : handles)
        closeHandle(handle);
    if (m_heart.joinable())
        m_heart.join();
    if (!m_mosquitto)
        return;
    if (m_startError.isEmpty()) {
        publish(m_prefix + QStringLiteral("/holders/") + m_client, "gone");
        mosquitto_disconnect(m_mosquitto);
        mosquitto_loop_stop(m_mosquitto, false);
    }
    mosquitto_destroy(m_mosquitto);
}

QString RemoteDriver::boardTopic(const QString &serial, const QString &rest) const
{
    return m_prefix + u'/' + serial + u'/' + rest;
}

QString RemoteDriver::remoteTopic(const QString &serial, const QString &verb) const
{
    return boardTopic(serial, QStringLiteral("remote/") + m_client + u'/' + verb);
}

ConnectionRefusal RemoteDriver::refusal() const
{
    std::lock_guard lock(m_mutex);
    return m_refusal;
}

void RemoteDriver::onRefused(const ConnectionRefusal &refusal)
{
    std::lock_guard lock(m_mutex);
    // The first final word stays: a later one is the same broker saying no again.
    if (!m_refusal.final)
        m_refusal = refusal;
    m_changed.notify_all();
}

bool RemoteDriver::publish(const QString &topic, const QByteArray &payload)
{
    const QByteArray name = topic.toUtf8();
    return mosquitto_publish(m_mosquitto, nullptr, name.constData(), int(payload.size()), payload.constData(), 1,
                             false) == MOSQ_ERR_SUCCESS;
}

void RemoteDriver::beatHeart()
{
    const QString topic = m_prefix + QStringLiteral("/holders/") + m_client;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        const auto restartDue = [this] {
            return m_restartAt && std::chrono::steady_clock::now() >= *m_restartAt;
        };
        m_changed.wait_for(lock, std::chrono::milliseconds(remote::kHeartbeatMs),
                           [this, &restartDue] { return m_stopping || restartDue(); });
        if (m_stopping)
            continue;
        if (restartDue()) {
            m_restartAt.reset();
            const bool mqtt311 = std::exchange(m_restartIn311, false);
            lock.unlock();
            restartMqttLoop(m_mosquitto, mqtt311);
            lock.lock();
            continue;
        }
        if (!m_connected)
            continue;
        lock.unlock();
        publish(topic, "alive");
        lock.lock();
    }
}

void RemoteDriver::onConnected(int result)
{
    if (result != 0) {
        const RefusalOutcome outcome = refusalOutcome(result, m_mqtt5);
        if (outcome.mqtt311)
            m_mqtt5 = false;
        if (outcome.say)
            onRefused(connackRefusal(result));
        if (outcome.restartAfterMs >= 0) {
            std::lock_guard lock(m_mutex);
            m_restartAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(outcome.restartAfterMs);
            m_restartIn311 = outcome.mqtt311;
            m_changed.notify_all();
        }
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_connected = true;
        m_synced = false;
        m_refusal = {};
    }
    const QByteArray status = (m_prefix + QStringLiteral("/+/status")).toUtf8();
    const QByteArray mine = (m_prefix + QStringLiteral("/+/remote/") + m_client + QStringLiteral("/+")).toUtf8();
    const QByteArray echo = (m_prefix + QStringLiteral("/holders/") + m_client).toUtf8();
    const QByteArray held = (m_prefix + QStringLiteral("/+/held")).toUtf8();
    const QByteArray bridges = (m_prefix + QStringLiteral("/bridges/+")).toUtf8();
    for (const QByteArray &pattern : {bridges, status, held, mine, echo})
        mosquitto_subscribe(m_mosquitto, nullptr, pattern.constData(), 1);
    // Our own word comes back after the broker has handed out the retained statuses: then the listing is whole.
    mosquitto_publish(m_mosquitto, nullptr, echo.constData(), 5, "alive", 1, false);
}

void RemoteDriver::onDisconnected()
{
    std::lock_guard lock(m_mutex);
    m_connected = false;
    m_synced = false;
    m_online.clear();
    m_heldBy.clear();
    for (auto &[handle, link] : m_links)
        link.broken = true;
    m_changed.notify_all();
}

void RemoteDriver::onMessage(const mosquitto_message &message)
{
    // Nothing a bridge says to us is this large: not even copied.
    if (message.payloadlen > MqttClient::kMaxReceivedBytes)
        return;
    const QString topic = QString::fromUtf8(message.topic);
    const QByteArray payload(static_cast<const char *>(message.payload), message.payloadlen);
    if (!topic.startsWith(m_prefix + u'/'))
        return;
    const QStringList levels = topic.sliced(m_prefix.size() + 1).split(u'/');
    std::lock_guard lock(m_mutex);
    if (levels.size() == 2 && levels[0] == u"holders") {
        m_synced = true;
    } else if (levels.size() == 2 && levels[0] == u"bridges") {
        onBridge(payload);
    } else if (levels.size() < 2 || !isSafeName(levels[0])) {
        return; // no board of ours is served under a name like that
    } else if (levels.size() == 2 && levels[1] == u"status") {
        const bool online = payload == "online";
        m_online[levels[0]] = online;
        if (!online)
            breakLinks(levels[0]);
    } else if (levels.size() == 2 && levels[1] == u"held") {
        const QString holder = remote::shownName(QString::fromUtf8(payload.left(4 * remote::kMaxShownName)));
        if (holder.isEmpty())
            m_heldBy.erase(levels[0]);
        else
            m_heldBy[levels[0]] = holder;
    } else if (levels.size() == 4 && levels[1] == u"remote" && levels[3] == u"answer") {
        onAnswer(payload);
    } else if (levels.size() == 4 && levels[1] == u"remote" && levels[3] == u"rx") {
        onFrame(payload);
    }
    m_changed.notify_all();
}

void RemoteDriver::onBridge(const QByteArray &payload)
{
    // The names of a bridge's boards, to list each by its name rather than by its topic level.
    const QJsonArray boards = QJsonDocument::fromJson(payload).object().value(QStringLiteral("boards")).toArray();
    for (const QJsonValue &board : boards) {
        const QString name = board.toString();
        if (!name.isEmpty() && name.size() <= kMaxSafeName && escapedControls(name) == name)
            m_names[safeNameOf(name)] = name;
    }
}

QString RemoteDriver::heldElsewhereBy(const QString &serial) const
{
    std::lock_guard lock(m_mutex);
    // A board this process holds is open here, not elsewhere.
    for (const auto &[handle, link] : m_links) {
        if (link.serial == safeNameOf(serial) && link.granted && !link.broken)
            return {};
    }
    const auto held = m_heldBy.find(safeNameOf(serial));
    return held == m_heldBy.end() ? QString() : held->second;
}

void RemoteDriver::onAnswer(const QByteArray &payload)
{
    const std::optional<remote::Answer> answer = remote::decodeAnswer(payload);
    if (!answer)
        return;
    for (auto &[handle, link] : m_links) {
        if (link.token != answer->token)
            continue;
        // A hold that ends stays granted, and broken: the handle fails as an unplugged board's does.
        if (answer->kind == remote::Answer::Kind::Lost) {
            link.broken = true;
            link.reason = answer->reason;
            continue;
        }
        link.answered = true;
        link.granted = answer->kind == remote::Answer::Kind::Open && !link.broken;
        link.reason = answer->reason;
    }
}

void RemoteDriver::onFrame(const QByteArray &payload)
{
    std::optional<remote::Frame> frame = remote::decodeFrame(payload);
    if (!frame)
        return;
    for (auto &[handle, link] : m_links) {
        if (link.token != frame->token || !link.granted || link.broken)
            continue;
        // A frame sent again after a reconnection is one we have; a frame that never came is a lost board.
        if (frame->sequence < link.expected)
            return;
        if (frame->sequence > link.expected ||
            link.received.size() - link.readFrom + frame->bytes.size() > kMaxUnreadBytes) {
            link.broken = true;
            return;
        }
        ++link.expected;
        link.received.append(frame->bytes);
        return;
    }
}

void RemoteDriver::breakLinks(const QString &serial)
{
    for (auto &[handle, link] : m_links) {
        if (link.serial == serial)
            link.broken = true;
    }
}

bool RemoteDriver::waitForBroker(int ms)
{
    std::unique_lock lock(m_mutex);
    m_listedOnce = true;
    if (m_startError.isEmpty())
        m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_synced || m_refusal.final; });
    return m_synced;
}

std::uint32_t RemoteDriver::listDeviceCount(std::uint32_t *count)
{
    std::unique_lock lock(m_mutex);
    // The first listing waits for the broker to tell what is online; later ones say what is known at once.
    if (!std::exchange(m_listedOnce, true) && m_startError.isEmpty())
        m_changed.wait_for(lock, std::chrono::milliseconds(kFirstListWaitMs),
                           [this] { return m_synced || m_refusal.final; });
    m_listing.clear();
    for (const auto &[serial, online] : m_online) {
        if (online)
            m_listing.append(serial);
    }
    *count = std::uint32_t(m_listing.size());
    return FtOk;
}

std::uint32_t RemoteDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    std::lock_guard lock(m_mutex);
    if (position < 0 || position >= m_listing.size())
        return FtDeviceNotFound;
    const auto name = m_names.find(m_listing[position]);
    const QString &shown = name == m_names.end() ? m_listing[position] : name->second;
    const QByteArray serial = shown.toLatin1().left(kSerialBufferSize - 1);
    std::memcpy(buffer, serial.constData(), size_t(serial.size()));
    buffer[serial.size()] = 0;
    return FtOk;
}

std::intptr_t RemoteDriver::createFile(const char *serialText)
{
    // Served under its name as one topic level.
    const QString serial = safeNameOf(QString::fromLatin1(serialText));
    std::unique_lock lock(m_mutex);
    m_openFailure.clear();
    if (!m_startError.isEmpty() || !m_connected) {
        m_openFailure = QStringLiteral("the broker %1 cannot be reached").arg(m_broker.host);
        return kInvalidHandle;
    }
    if (!isSafeName(serial) || !m_online[serial]) {
        m_openFailure = QStringLiteral("not online on the broker");
        return kInvalidHandle;
    }
    const std::intptr_t handle = m_nextHandle++;
    Link &link = m_links[handle];
    link.serial = serial;
    link.token = m_nextToken++;
    const QByteArray request = remote::encodeOpenRequest({m_client, m_holder, link.token});
    lock.unlock();
    publish(remoteTopic(serial, QStringLiteral("open")), request);
    lock.lock();
    Link &asked = m_links[handle];
    m_changed.wait_for(lock, std::chrono::milliseconds(kAnswerWaitMs),
                       [&asked, this] { return asked.answered || asked.broken || m_stopping; });
    if (asked.granted && !asked.broken)
        return handle;
    m_openFailure =
        asked.answered || !asked.reason.isEmpty() ? asked.reason : QStringLiteral("the bridge did not answer");
    if (m_openFailure.isEmpty())
        m_openFailure = QStringLiteral("the bridge refused");
    const QByteArray close = m_client.toUtf8() + ' ' + QByteArray::number(asked.token);
    m_links.erase(handle);
    lock.unlock();
    // A grant that comes after we stopped waiting is handed back.
    publish(remoteTopic(serial, QStringLiteral("close")), close);
    return kInvalidHandle;
}

QString RemoteDriver::openFailureReason() const
{
    std::lock_guard lock(m_mutex);
    return m_openFailure;
}

RemoteDriver::Link *RemoteDriver::linkFor(std::intptr_t handle)
{
    const auto found = m_links.find(handle);
    return found == m_links.end() || !found->second.granted ? nullptr : &found->second;
}

bool RemoteDriver::closeHandle(std::intptr_t handle)
{
    std::unique_lock lock(m_mutex);
    const auto found = m_links.find(handle);
    if (found == m_links.end())
        return false;
    const QString serial = found->second.serial;
    const QByteArray close = m_client.toUtf8() + ' ' + QByteArray::number(found->second.token);
    m_links.erase(found);
    lock.unlock();
    publish(remoteTopic(serial, QStringLiteral("close")), close);
    return true;
}

bool RemoteDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    *written = 0;
    std::unique_lock lock(m_mutex);
    Link *link = linkFor(handle);
    if (!link || link->broken)
        return false;
    const QString topic = remoteTopic(link->serial, QStringLiteral("tx"));
    QList<QByteArray> frames;
    for (qsizetype offset = 0; offset < qsizetype(size); offset += remote::kMaxFrameBytes) {
        const qsizetype length = std::min<qsizetype>(remote::kMaxFrameBytes, qsizetype(size) - offset);
        frames.append(remote::encodeFrame(link->token, ++link->sent, data + offset, length));
    }
    lock.unlock();
    // In order, each once: a frame the library refuses (the broker gone) fails the write, and the handle with it.
    for (const QByteArray &frame : frames) {
        if (!publish(topic, frame)) {
            lock.lock();
            if (Link *failed = linkFor(handle))
                failed->broken = true;
            return false;
        }
    }
    *written = size;
    return true;
}

std::uint32_t RemoteDriver::getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                      std::uint32_t *events)
{
    *rxQueue = 0;
    *txQueue = 0;
    *events = 0;
    std::lock_guard lock(m_mutex);
    const Link *link = linkFor(handle);
    if (!link)
        return FtInvalidHandle;
    const qsizetype unread = link->received.size() - link->readFrom;
    // What came before the link broke is still handed over; then the handle is dead, as an unplugged board's.
    if (link->broken && unread == 0)
        return FtIoError;
    *rxQueue = std::uint32_t(unread);
    return FtOk;
}

bool RemoteDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    *read = 0;
    std::lock_guard lock(m_mutex);
    Link *link = linkFor(handle);
    if (!link)
        return false;
    const qsizetype unread = link->received.size() - link->readFrom;
    if (link->broken && unread == 0)
        return false;
    const qsizetype count = std::min<qsizetype>(unread, size);
    std::memcpy(buffer, link->received.constData() + link->readFrom, size_t(count));
    link->readFrom += count;
    if (link->readFrom == link->received.size()) {
        link->received.clear();
        link->readFrom = 0;
    }
    *read = std::uint32_t(count);
    return true;
}

DriverChoice makeRemoteDriver(const BrokerAddress &broker, const QString &prefix)
{
    auto driver = std::make_unique<RemoteDriver>(broker, prefix);
    DriverChoice choice;
    const QString where = QStringLiteral("broker %1:%2").arg(broker.host).arg(broker.port);
    if (!driver->startError().isEmpty()) {
        choice.notice = QStringLiteral("broker %1: %2").arg(broker.host, driver->startError());
    } else if (!driver->waitForBroker(RemoteDriver::kFirstListWaitMs)) {
        const ConnectionRefusal refusal = driver->refusal();
        choice.refused = refusal.final;
        if (refusal.reason.isEmpty())
            choice.notice = where + QStringLiteral(" cannot be reached yet: no board of it is listed until it answers");
        else
            choice.notice = QStringLiteral("%1 refused the connection: %2%3")
                                .arg(where, refusal.reason,
                                     refusal.final ? QString()
                                                   : QStringLiteral("; no board of it is listed until it "
                                                                    "lets us in"));
    }
    choice.driver = std::move(driver);
    return choice;
}
