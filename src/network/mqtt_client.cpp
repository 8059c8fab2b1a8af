#include "network/mqtt_client.h"

#include <QMetaObject>
#include <QThread>
#include <QUrl>

#include <mosquitto.h>

#include <mutex>

void initialiseMqttLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool BrokerAddress::isLoopback() const
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    return host.startsWith(QStringLiteral("127.")) || host == u"::1" || host == u"[::1]";
}

std::optional<BrokerAddress> parseBrokerUrl(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() || (!parsed.path().isEmpty() && parsed.path() != u"/"))
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
    return broker;
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
    mosquitto_int_option(m_mosquitto, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
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
        const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
        QMetaObject::invokeMethod(
            client, [client, topic, payload] { Q_EMIT client->messageReceived(topic, payload); }, Qt::QueuedConnection);
    });
}

MqttClient::~MqttClient()
{
    if (m_mosquitto) {
        if (m_started) {
            mosquitto_disconnect(m_mosquitto);
            mosquitto_loop_stop(m_mosquitto, true);
        }
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
    mosquitto_connect_async(m_mosquitto, host.constData(), m_broker.port, 30);
    const int result = mosquitto_loop_start(m_mosquitto);
    if (result != MOSQ_ERR_SUCCESS) {
        *error = QString::fromUtf8(mosquitto_strerror(result));
        return false;
    }
    m_started = true;
    return true;
}

void MqttClient::stop(int waitMs)
{
    if (!m_started)
        return;
    // Whatever the loop still holds gets its chance to go before the goodbye.
    QThread::msleep(std::min(waitMs, m_connected ? 100 : 0));
    mosquitto_disconnect(m_mosquitto);
    mosquitto_loop_stop(m_mosquitto, false);
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
    if (m_connected && (m_queue.empty() || retain) && send(message))
        return;
    // Kept until the broker is back; the oldest go first when the queue is full.
    m_queuedBytes += queuedCost(message);
    m_queue.push_back(std::move(message));
    while (m_queuedBytes > m_maxQueuedBytes && !m_queue.empty()) {
        m_queuedBytes -= queuedCost(m_queue.front());
        m_queue.pop_front();
        ++m_dropped;
    }
}

bool MqttClient::send(const Message &message)
{
    const QByteArray &topic = message.topic;
    const int result =
        mosquitto_publish(m_mosquitto, nullptr, topic.constData(), int(message.payload.size()),
                          message.payload.constData(), message.qos < 0 ? m_qos : message.qos, message.retain);
    if (result != MOSQ_ERR_SUCCESS)
        return false;
    ++m_published;
    return true;
}

void MqttClient::flushQueue()
{
    while (m_connected && !m_queue.empty()) {
        if (!send(m_queue.front()))
            return;
        m_queuedBytes -= queuedCost(m_queue.front());
        m_queue.pop_front();
    }
}

void MqttClient::subscribe(const QString &pattern)
{
    if (!m_subscriptions.contains(pattern))
        m_subscriptions.append(pattern);
    if (m_connected)
        mosquitto_subscribe(m_mosquitto, nullptr, pattern.toUtf8().constData(), 1);
}

void MqttClient::onConnected(int result)
{
    if (result != 0)
        return;
    m_connected = true;
    for (const QString &pattern : m_subscriptions)
        mosquitto_subscribe(m_mosquitto, nullptr, pattern.toUtf8().constData(), 1);
    Q_EMIT connected();
    flushQueue();
}

void MqttClient::onDisconnected()
{
    if (!m_connected)
        return;
    m_connected = false;
    Q_EMIT disconnected();
}
