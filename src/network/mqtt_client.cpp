#include "network/mqtt_client.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <mutex>
#include <utility>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

void initialiseMqttLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool BrokerAddress::isLoopback() const
{
    // Decided on the addresses the name stands for, not on how it is spelled ("127.attacker.example").
    const QList<QHostAddress> addresses = QHostInfo::fromName(host).addresses();
    return !addresses.isEmpty() && std::all_of(addresses.begin(), addresses.end(),
                                               [](const QHostAddress &address) { return address.isLoopback(); });
}

std::optional<BrokerAddress> parseBrokerUrl(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() || (!parsed.path().isEmpty() && parsed.path() != u"/") ||
        parsed.hasQuery() || parsed.hasFragment())
        return std::nullopt;
    BrokerAddress broker;
    if (parsed.scheme() == u"mqtt")
        broker.tls = false;
    else if (parsed.scheme() == u"mqtts")
        broker.tls = true;
    else
        return std::nullopt;
    broker.host = parsed.host();
    broker.port = parsed.port(broker.tls ? 8883 : 1883);
    if (broker.port < 1 || broker.port > 65535)
        return std::nullopt;
    broker.username = parsed.userName(QUrl::FullyDecoded);
    broker.password = parsed.password(QUrl::FullyDecoded);
    return broker;
}

QString shownBrokerUrl(const QString &url)
{
    // Whatever stands between "SCHEME://USER:" and the last '@' is a password, whatever it holds.
    static const QRegularExpression password(QStringLiteral("^([^:/]*://[^:/@]*:).*@"));
    QString shown = url;
    shown.replace(password, QStringLiteral("\\1***@"));
    return shown;
}

ConnectionRefusal connackRefusal(int code)
{
    struct Meaning {
        int code;
        const char *reason;
        bool final;
    };
    // MQTT 3.1.1 return codes (1 to 5), then MQTT 5 reason codes (128 and above).
    static constexpr Meaning kMeanings[] = {
        {1, "the broker does not speak MQTT 3.1.1", true},
        {2, "the broker rejected the client id", true},
        {3, "the broker is unavailable", false},
        {4, "bad user name or password", true},
        {5, "not authorised", true},
        {128, "unspecified error", false},
        {129, "the broker found the connection request malformed", true},
        {130, "protocol error", true},
        {131, "refused by the broker's own rules", false},
        {132, "the broker does not speak MQTT 5", true},
        {133, "the broker rejected the client id", true},
        {134, "bad user name or password", true},
        {135, "not authorised", true},
        {136, "the broker is unavailable", false},
        {137, "the broker is busy", false},
        {138, "banned", true},
        {140, "bad authentication method", true},
        {149, "the connection request is too large", true},
        {151, "quota exceeded", false},
        {153, "the last will's payload is invalid", true},
        {154, "the broker keeps no retained messages", true},
        {155, "the broker does not take QoS 1", true},
        {156, "the broker sends us to another server", true},
        {157, "the broker has moved", true},
        {159, "too many connections in a short time", false},
    };
    for (const Meaning &meaning : kMeanings) {
        if (meaning.code == code)
            return {QString::fromLatin1(meaning.reason), meaning.final};
    }
    return {QStringLiteral("refused with code %1").arg(code), false};
}

RefusalOutcome refusalOutcome(int code, bool mqtt5)
{
    if (!mqtt5)
        return {};
    // A broker of MQTT 3.1.1 alone: asked again in its own version, nothing said.
    if (code == kMqtt5NotSpoken)
        return {false, true, 0};
    // The library takes any refusal in MQTT 5 for a protocol fault and ends its loop: one that may change is tried
    // again as the library would, after its longest back-off.
    if (code >= 128 && !connackRefusal(code).final)
        return {true, false, 5000};
    return {};
}

bool askForMqtt5(mosquitto *client)
{
    mosquitto_property *properties = nullptr;
    if (mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes) != MOSQ_ERR_SUCCESS) {
        mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        return false;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // The library has no asynchronous connect that takes properties. mosquitto_connect_bind_v5 keeps them for every
    // later connection before it looks at its other arguments: given a keep-alive it refuses (1 s), it keeps them and
    // connects nowhere.
    mosquitto_connect_bind_v5(client, "", 0, 1, nullptr, properties);
    mosquitto_property_free_all(&properties);
    return true;
}

void forgetMqtt5(mosquitto *client)
{
    // The same call with no properties forgets them; 3.1.1 takes none.
    mosquitto_connect_bind_v5(client, "", 0, 1, nullptr, nullptr);
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
}

void restartMqttLoop(mosquitto *client, bool mqtt311)
{
    // The loop has ended (or is ending) by itself: this only joins its thread.
    mosquitto_loop_stop(client, false);
    if (mqtt311)
        forgetMqtt5(client);
    mosquitto_reconnect_async(client);
    mosquitto_loop_start(client);
}

std::optional<ConnectionRefusal> tlsRefusal(const QString &logMessage)
{
    if (!logMessage.startsWith(QLatin1String("OpenSSL Error")))
        return std::nullopt;
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the words after the last colon.
    const QString words = logMessage.section(u':', -1).trimmed();
    const bool verification = words.contains(QLatin1String("verify"), Qt::CaseInsensitive) ||
                              words.contains(QLatin1String("certificate"), Qt::CaseInsensitive);
    return ConnectionRefusal{QStringLiteral("TLS: ") + (words.isEmpty() ? logMessage : words), verification};
}

bool applyBrokerSettings(mosquitto *client, const BrokerAddress &broker, QString *error)
{
    if (!broker.username.isEmpty() || !broker.password.isEmpty()) {
        const QByteArray user = broker.username.toUtf8();
        const QByteArray password = broker.password.toUtf8();
        mosquitto_username_pw_set(client, user.isEmpty() ? nullptr : user.constData(),
                                  password.isEmpty() ? nullptr : password.constData());
    }
    if (broker.tls || !broker.caFile.isEmpty()) {
        const QByteArray ca = broker.caFile.toLocal8Bit();
        const QByteArray cert = broker.certFile.toLocal8Bit();
        const QByteArray key = broker.keyFile.toLocal8Bit();
        const int result = mosquitto_tls_set(
            client, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
            cert.isEmpty() ? nullptr : cert.constData(), key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("TLS: %1").arg(QString::fromUtf8(mosquitto_strerror(result)));
            return false;
        }
    }
    return true;
}

MqttClient::MqttClient(const BrokerAddress &broker, const QString &clientId, std::optional<Will> will, QObject *parent)
    : QObject(parent)
    , m_broker(broker)
{
    initialiseMqttLibrary();
    m_mosquitto = mosquitto_new(clientId.toUtf8().constData(), true, this);
    if (!m_mosquitto)
        return;
    m_mqtt5 = askForMqtt5(m_mosquitto);
    // Small messages go at once, not held back to be sent with the next (a reading, a board's answer).
    mosquitto_int_option(m_mosquitto, MOSQ_OPT_TCP_NODELAY, 1);
    // Acknowledged messages (QoS 1) keep flowing while earlier ones wait for their acknowledgement.
    mosquitto_int_option(m_mosquitto, MOSQ_OPT_SEND_MAXIMUM, 1000);
    if (will) {
        const QByteArray topic = will->topic.toUtf8();
        mosquitto_will_set(m_mosquitto, topic.constData(), int(will->payload.size()), will->payload.constData(), 1,
                           will->retain);
    }
    mosquitto_reconnect_delay_set(m_mosquitto, 1, 5, true);
    // The library's thread only hands over; everything is done on this object's thread.
    mosquitto_connect_callback_set(m_mosquitto, [](mosquitto *, void *self, int result) {
        auto *client = static_cast<MqttClient *>(self);
        QMetaObject::invokeMethod(
            client, [client, result] { client->onConnected(result); }, Qt::QueuedConnection);
    });
    mosquitto_disconnect_callback_set(m_mosquitto, [](mosquitto *, void *self, int) {
        auto *client = static_cast<MqttClient *>(self);
        QMetaObject::invokeMethod(
            client, [client] { client->onDisconnected(); }, Qt::QueuedConnection);
    });
    mosquitto_message_callback_set(m_mosquitto, [](mosquitto *, void *self, const mosquitto_message *message) {
        auto *client = static_cast<MqttClient *>(self);
        const QString topic = QString::fromUtf8(message->topic);
        // Too large to be anything we asked for: not copied, only counted.
        if (message->payloadlen > kMaxReceivedBytes) {
            ++client->m_oversized;
            const qsizetype size = message->payloadlen;
            QMetaObject::invokeMethod(
                client, [client, topic, size] { Q_EMIT client->oversizedReceived(topic, size); }, Qt::QueuedConnection);
            return;
        }
        const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
        QMetaObject::invokeMethod(
            client, [client, topic, payload] { Q_EMIT client->messageReceived(topic, payload); }, Qt::QueuedConnection);
    });
    // Sent (QoS 0) or acknowledged (QoS 1): only then published.
    mosquitto_publish_callback_set(
        m_mosquitto, [](mosquitto *, void *self, int) { ++static_cast<MqttClient *>(self)->m_published; });
    // A TLS handshake that fails is told only in the library's log. Without TLS nothing is asked of it: the
    // library formats a line of its log for every message it sends whenever anyone listens.
    if (broker.tls || !broker.caFile.isEmpty()) {
        mosquitto_log_callback_set(m_mosquitto, [](mosquitto *, void *self, int level, const char *text) {
            if (level != MOSQ_LOG_ERR)
                return;
            if (const std::optional<ConnectionRefusal> refusal = tlsRefusal(QString::fromUtf8(text))) {
                auto *client = static_cast<MqttClient *>(self);
                QMetaObject::invokeMethod(
                    client, [client, refusal] { client->onRefused(*refusal); }, Qt::QueuedConnection);
            }
        });
    }
}

MqttClient::~MqttClient()
{
    if (m_mosquitto) {
        if (m_started) {
            mosquitto_disconnect(m_mosquitto);
            if (!m_ownLoop)
                mosquitto_loop_stop(m_mosquitto, true);
        }
        m_readable.reset();
        m_writable.reset();
        mosquitto_destroy(m_mosquitto);
    }
}

bool MqttClient::start(QString *error)
{
    if (!m_mosquitto) {
        *error = QStringLiteral("the MQTT library could not make a client");
        return false;
    }
    if (!applyBrokerSettings(m_mosquitto, m_broker, error))
        return false;
    // Asynchronous: a broker that is not there yet is tried again and again by the loop.
    const QByteArray host = m_broker.host.toUtf8();
    // A TLS handshake is carried on only by the library's own loop.
    m_ownLoop = !m_broker.tls && m_broker.caFile.isEmpty();
    if (m_ownLoop) {
        // Every packet only queued by the library, written here when the turn is over.
        mosquitto_threaded_set(m_mosquitto, true);
        m_started = true;
        // Pings when the connection has been quiet, and closes it when the broker no longer answers them.
        connect(&m_keepAlive, &QTimer::timeout, this, [this] {
            mosquitto_loop_misc(m_mosquitto);
            if (mosquitto_socket(m_mosquitto) < 0)
                onConnectionLost();
            else
                watchSocket();
        });
        m_retry.setSingleShot(true);
        connect(&m_retry, &QTimer::timeout, this, &MqttClient::reconnect);
        m_keepAlive.start(1000);
        if (mosquitto_connect_async(m_mosquitto, host.constData(), m_broker.port, 30) == MOSQ_ERR_SUCCESS)
            watchSocket();
        else
            onConnectionLost();
    } else {
        mosquitto_connect_async(m_mosquitto, host.constData(), m_broker.port, 30);
        const int result = mosquitto_loop_start(m_mosquitto);
        if (result != MOSQ_ERR_SUCCESS) {
            *error = QString::fromUtf8(mosquitto_strerror(result));
            return false;
        }
        m_started = true;
    }
    QTimer::singleShot(kUnreachableSaidAfterMs, this, [this] {
        if (m_started && !m_everConnected && m_refusalsSaid.isEmpty())
            Q_EMIT unreachable();
    });
    return true;
}

void MqttClient::stop(int waitMs)
{
    if (!m_started)
        return;
    // Whatever the library still holds gets its chance to go, and be acknowledged, before the goodbye.
    if (m_ownLoop)
        flushWrites();
    const QDeadlineTimer deadline(m_connected ? waitMs : 0);
    while (m_published < m_handed && !deadline.hasExpired()) {
        if (m_ownLoop)
            mosquitto_loop(m_mosquitto, 5, 64);
        else
            QThread::msleep(5);
    }
    mosquitto_disconnect(m_mosquitto);
    if (m_ownLoop) {
        mosquitto_loop_write(m_mosquitto, 64); // the goodbye, if it waits
        m_keepAlive.stop();
        m_retry.stop();
        m_readable.reset();
        m_writable.reset();
    } else {
        mosquitto_loop_stop(m_mosquitto, false);
    }
    m_started = false;
    m_connected = false;
}

qint64 MqttClient::queuedCost(const Message &message)
{
    // What a waiting message takes in memory, not only its text: the bound is on the process's size. Each of the
    // two texts is a block of its own with a header, and the allocator rounds every block up.
    constexpr qint64 kBlockOverhead = 32;
    return qint64(sizeof(Message)) + 2 * kBlockOverhead + message.topic.size() + message.payload.size();
}

void MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain, int qos)
{
    publish(topic.toUtf8(), payload, retain, qos);
}

void MqttClient::publish(const QByteArray &topic, const QByteArray &payload, bool retain, int qos)
{
    ++m_produced;
    Message message{topic, payload, retain, qos};
    // A retained state (a status, a discovery config) goes at once, ahead of readings still waiting.
    if (m_connected && (m_queue.empty() || retain)) {
        const Sent sent = send(message);
        if (sent != Sent::NotConnected)
            return;
    }
    // Kept until the broker is back; the oldest go first when the queue is full.
    m_queuedBytes += queuedCost(message);
    m_queue.push_back(std::move(message));
    while (m_queuedBytes > m_maxQueuedBytes && !m_queue.empty()) {
        m_queuedBytes -= queuedCost(m_queue.front());
        m_queue.pop_front();
        ++m_dropped;
    }
}

void MqttClient::flushSoon()
{
    // Written at the end of this turn of the event loop, all together: the lines a read brought are handled
    // without a system call for each of their messages.
    if (!m_ownLoop || m_flushDue)
        return;
    m_flushDue = true;
    QTimer::singleShot(0, this, [this] {
        m_flushDue = false;
        flushWrites();
    });
}

void MqttClient::flushWrites()
{
    if (mosquitto_socket(m_mosquitto) < 0)
        return;
    holdBackWrites(true);
    const int result = mosquitto_loop_write(m_mosquitto, 1);
    holdBackWrites(false);
    if (result != MOSQ_ERR_SUCCESS) {
        onConnectionLost();
        return;
    }
    watchSocket();
}

void MqttClient::holdBackWrites(bool hold)
{
#ifdef Q_OS_LINUX
    // The messages of one turn of the event loop leave in as few TCP segments as they fit in: a segment costs the
    // kernel (and the broker) far more than its bytes.
    const int socket = mosquitto_socket(m_mosquitto);
    const int on = hold ? 1 : 0;
    if (socket >= 0)
        ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
#else
    Q_UNUSED(hold);
#endif
}

MqttClient::Sent MqttClient::send(const Message &message)
{
    const QByteArray &topic = message.topic;
    const int result =
        mosquitto_publish(m_mosquitto, nullptr, topic.constData(), int(message.payload.size()),
                          message.payload.constData(), message.qos < 0 ? m_qos : message.qos, message.retain);
    if (result == MOSQ_ERR_SUCCESS) {
        ++m_handed;
        flushSoon();
        return Sent::Yes;
    }
    if (result == MOSQ_ERR_NO_CONN || result == MOSQ_ERR_CONN_LOST)
        return Sent::NotConnected;
    // The library will never take this one (a topic it cannot carry, a payload too large): dropped, never retried,
    // so that it holds nothing up behind it.
    ++m_refused;
    return Sent::Refused;
}

void MqttClient::flushQueue()
{
    while (m_connected && !m_queue.empty()) {
        if (send(m_queue.front()) == Sent::NotConnected)
            return;
        m_queuedBytes -= queuedCost(m_queue.front());
        m_queue.pop_front();
    }
}

void MqttClient::subscribe(const QString &pattern)
{
    if (!m_subscriptions.contains(pattern))
        m_subscriptions.append(pattern);
    if (m_connected) {
        mosquitto_subscribe(m_mosquitto, nullptr, pattern.toUtf8().constData(), 1);
        flushSoon();
    }
}

void MqttClient::onConnected(int result)
{
    if (result != 0) {
        onRefusedByBroker(result);
        return;
    }
    m_connected = true;
    m_everConnected = true;
    m_retryMs = 1000;
    m_refusalsSaid.clear();
    for (const QString &pattern : m_subscriptions)
        mosquitto_subscribe(m_mosquitto, nullptr, pattern.toUtf8().constData(), 1);
    flushSoon();
    Q_EMIT connected();
    flushQueue();
}

void MqttClient::onRefusedByBroker(int code)
{
    const RefusalOutcome outcome = refusalOutcome(code, m_mqtt5);
    if (outcome.mqtt311)
        m_mqtt5 = false;
    if (outcome.say)
        onRefused(connackRefusal(code));
    if (m_ownLoop) {
        // The connection is closed already, and its retry set: it is kept, made sooner, or given up.
        if (outcome.mqtt311)
            forgetMqtt5(m_mosquitto);
        if (outcome.restartAfterMs >= 0) {
            m_retry.start(outcome.restartAfterMs);
        } else if (connackRefusal(code).final) {
            m_refusedForGood = true;
            m_retry.stop();
        }
        return;
    }
    if (outcome.restartAfterMs >= 0) {
        QTimer::singleShot(outcome.restartAfterMs, this, [this, mqtt311 = outcome.mqtt311] {
            if (m_started)
                restartMqttLoop(m_mosquitto, mqtt311);
        });
    }
}

void MqttClient::watchSocket()
{
    const int socket = mosquitto_socket(m_mosquitto);
    if (socket < 0) {
        m_readable.reset();
        m_writable.reset();
        return;
    }
    if (!m_readable || m_readable->socket() != socket) {
        m_readable = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        m_writable = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
        connect(m_readable.get(), &QSocketNotifier::activated, this, [this] { onSocketReady(false); });
        connect(m_writable.get(), &QSocketNotifier::activated, this, [this] { onSocketReady(true); });
    }
    m_writable->setEnabled(mosquitto_want_write(m_mosquitto));
}

void MqttClient::onSocketReady(bool write)
{
    const int result = write ? mosquitto_loop_write(m_mosquitto, 64) : mosquitto_loop_read(m_mosquitto, 64);
    if (result != MOSQ_ERR_SUCCESS) {
        onConnectionLost();
        return;
    }
    watchSocket();
}

void MqttClient::onConnectionLost()
{
    // The library has closed the socket (and told the disconnection): tried again with a growing back-off.
    m_readable.reset();
    m_writable.reset();
    if (!m_started || m_refusedForGood || m_retry.isActive())
        return;
    m_retry.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, 5000);
}

void MqttClient::reconnect()
{
    if (!m_started || m_refusedForGood)
        return;
    if (mosquitto_reconnect_async(m_mosquitto) == MOSQ_ERR_SUCCESS)
        watchSocket();
    else
        onConnectionLost();
}

void MqttClient::onRefused(const ConnectionRefusal &refusal)
{
    if (m_refusalsSaid.contains(refusal.reason))
        return;
    m_refusalsSaid.append(refusal.reason);
    Q_EMIT connectionRefused(refusal);
}

void MqttClient::onDisconnected()
{
    if (!m_connected)
        return;
    m_connected = false;
    Q_EMIT disconnected();
}
