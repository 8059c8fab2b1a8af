#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>
#include <optional>

struct mosquitto;

// Where a broker is and how to reach it: mqtt://HOST:PORT (1883 by default) or mqtts://HOST:PORT (8883), with
// optional credentials and TLS files.
struct BrokerAddress {
    QString host;
    int port = 1883;
    bool tls = false;
    QString username;
    QString password;
    QString caFile;
    QString certFile;
    QString keyFile;

    bool isLoopback() const;
};

// Reads "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]"; nothing when it is not one.
std::optional<BrokerAddress> parseBrokerUrl(const QString &url);

// Once per process, before the first libmosquitto client is made.
void initialiseMqttLibrary();

// Gives a libmosquitto client the broker's credentials and TLS files; false with the reason when the library
// refuses them.
bool applyBrokerSettings(mosquitto *client, const BrokerAddress &broker, QString *error);

// One connection to an MQTT broker (libmosquitto, its network loop on a thread of its own). Everything it tells
// arrives as signals on the thread that made it. It connects and reconnects by itself (back-off up to 5 s); what is
// published while the broker cannot be reached waits in a queue of at most maxQueuedBytes, the oldest dropped first
// and counted (a message counts with what it takes in memory, not only its payload).
class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Will {
        QString topic;
        QByteArray payload;
        bool retain = true;
    };

    MqttClient(const BrokerAddress &broker, const QString &clientId, std::optional<Will> will,
               QObject *parent = nullptr);
    ~MqttClient() override;

    // Starts connecting; false with the reason when the library refuses at once (a bad TLS file, say).
    bool start(QString *error);
    // Publishes a clean goodbye (optional) and disconnects, waiting at most `waitMs` for what is queued to go.
    void stop(int waitMs = 2000);

    // `qos` below 0: the client's own (setQos).
    void publish(const QString &topic, const QByteArray &payload, bool retain = false, int qos = -1);
    // The same with the topic in UTF-8 already (a topic made once and published often).
    void publish(const QByteArray &topic, const QByteArray &payload, bool retain = false, int qos = -1);
    // Subscribed again after every reconnection.
    void subscribe(const QString &pattern);

    bool isConnected() const { return m_connected; }
    void setQos(int qos) { m_qos = qos; }
    void setMaxQueuedBytes(qint64 bytes) { m_maxQueuedBytes = bytes; }
    // Every message asked for is published, dropped from the full queue, or still queued.
    qint64 produced() const { return m_produced; }
    qint64 published() const { return m_published; }
    qint64 dropped() const { return m_dropped; }
    qint64 queued() const { return qint64(m_queue.size()); }

Q_SIGNALS:
    void connected();
    void disconnected();
    void messageReceived(const QString &topic, const QByteArray &payload);

private:
    struct Message {
        QByteArray topic; // UTF-8
        QByteArray payload;
        bool retain = false;
        int qos = -1;
    };
    static qint64 queuedCost(const Message &message);
    void onConnected(int result);
    void onDisconnected();
    bool send(const Message &message);
    void flushQueue();

    mosquitto *m_mosquitto = nullptr;
    BrokerAddress m_broker;
    QStringList m_subscriptions;
    std::deque<Message> m_queue;
    qint64 m_queuedBytes = 0;
    qint64 m_maxQueuedBytes = 64LL * 1024 * 1024;
    qint64 m_produced = 0;
    qint64 m_published = 0;
    qint64 m_dropped = 0;
    int m_qos = 0;
    bool m_connected = false;
    bool m_started = false;
};
