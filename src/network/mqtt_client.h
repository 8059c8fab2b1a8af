#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>
#include <optional>

class QSocketNotifier;

struct mosquitto;

// Where a broker is and how to reach it: mqtt://[USER[:PASSWORD]@]HOST:PORT (1883 by default) or mqtts://...
// (8883), with optional credentials and, for mqtts, TLS files.
struct BrokerAddress {
    QString host;
    int port = 1883;
    bool tls = false;
    QString username;
    QString password;
    QString caFile;
    QString certFile;
    QString keyFile;

    // Whether the host is this machine: every address it resolves to is a loopback one (127.0.0.0/8, ::1).
    bool isLoopback() const;
};

// Reads "mqtt://[USER[:PASSWORD]@]HOST[:PORT]" or "mqtts://..." (user and password percent-decoded); nothing when
// it is not one.
std::optional<BrokerAddress> parseBrokerUrl(const QString &url);
// The URL as it may be shown: a password in it replaced by "***".
QString shownBrokerUrl(const QString &url);

// How a broker's refusal of a connection reads, and whether trying again could change it.
struct ConnectionRefusal {
    QString reason;
    bool final = false; // credentials, authorisation, TLS verification: the same answer every time
};
// The refusal a CONNACK code means (MQTT 3.1.1: 1 to 5; MQTT 5: 128 and above).
ConnectionRefusal connackRefusal(int code);
// MQTT 5's "unsupported protocol version": also what a broker of 3.1.1 alone answers.
inline constexpr int kMqtt5NotSpoken = 132;

// What a client does about a broker's refusal of its connection.
struct RefusalOutcome {
    bool say = true;         // said as a refusal
    bool mqtt311 = false;    // asked again in MQTT 3.1.1
    int restartAfterMs = -1; // the library's loop, which ended, started again after this long
};
RefusalOutcome refusalOutcome(int code, bool mqtt5);

// The largest packet a client of ours takes. The broker drops a larger one unsent (MQTT 5's maximum packet size):
// megabytes published at a bridge never reach its memory. One up to this size is read, and dropped when its payload
// is over what its topic may carry.
inline constexpr int kMaxPacketBytes = 1024 * 1024;
// Asks for MQTT 5 and packets of at most kMaxPacketBytes; false (MQTT 3.1.1 then) when the library could not note it.
bool askForMqtt5(mosquitto *client);
// From the next connection on, MQTT 3.1.1 (a broker that speaks nothing newer).
void forgetMqtt5(mosquitto *client);
// Starts the library's loop again after it ended on a refusal; `mqtt311`: asking for MQTT 3.1.1 from now on.
void restartMqttLoop(mosquitto *client, bool mqtt311);
// The refusal a libmosquitto error message means, when it is one of TLS ("OpenSSL Error[0]: ...").
std::optional<ConnectionRefusal> tlsRefusal(const QString &logMessage);

// Once per process, before the first libmosquitto client is made.
void initialiseMqttLibrary();

// Gives a libmosquitto client the broker's credentials and TLS files; false with the reason when the library
// refuses them.
bool applyBrokerSettings(mosquitto *client, const BrokerAddress &broker, QString *error);

// One connection to an MQTT broker (libmosquitto). Without TLS its network loop runs on the thread that made it,
// driven by that thread's event loop (no thread to wake for each message); with TLS, on a thread of the library's
// own. Everything it tells arrives as signals on the thread that made it. It connects and reconnects by itself
// (back-off up to 5 s); what is published while the broker cannot be reached waits in a queue of at most
// maxQueuedBytes, the oldest dropped first and counted (a message counts with what it takes in memory, not only its
// payload). A message the library refuses for itself (a topic it cannot carry, a payload too large) is dropped and
// counted as refused: nothing blocks the queue. A message received with a payload over kMaxReceivedBytes is dropped
// unread and counted.
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
    // Disconnects, waiting at most `waitMs` for what was handed to the library to go (QoS 0) or be acknowledged
    // (QoS 1); what has not is counted as unsent.
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
    // Every message asked for is published (sent, or acknowledged at QoS 1), dropped from the full queue, refused by
    // the library, or unsent (still queued, or handed over but not yet gone).
    qint64 produced() const { return m_produced; }
    qint64 published() const { return m_published; }
    qint64 dropped() const { return m_dropped; }
    qint64 refused() const { return m_refused; }
    qint64 unsent() const { return qint64(m_queue.size()) + m_handed - m_published; }
    // Messages received with a payload over kMaxReceivedBytes, dropped unread.
    qint64 oversized() const { return m_oversized; }

    static constexpr qsizetype kMaxReceivedBytes = 64 * 1024;
    // How long a broker may stay out of reach at the start before it is said.
    static constexpr int kUnreachableSaidAfterMs = 5000;

Q_SIGNALS:
    void connected();
    void disconnected();
    void messageReceived(const QString &topic, const QByteArray &payload);
    // A payload over kMaxReceivedBytes arrived on `topic`, dropped unread.
    void oversizedReceived(const QString &topic, qsizetype size);
    // The broker refused the connection; each reason once until a connection is made.
    void connectionRefused(const ConnectionRefusal &refusal);
    // No connection kUnreachableSaidAfterMs after the start, and no refusal either: tried again and again.
    void unreachable();

private:
    struct Message {
        QByteArray topic; // UTF-8
        QByteArray payload;
        bool retain = false;
        int qos = -1;
    };
    enum class Sent { Yes, NotConnected, Refused };
    static qint64 queuedCost(const Message &message);
    void onConnected(int result);
    void onDisconnected();
    void onRefused(const ConnectionRefusal &refusal);
    void onRefusedByBroker(int code);
    // The loop driven here: the socket watched as the library wants it, the keep-alive, and reconnection.
    void watchSocket();
    void onSocketReady(bool write);
    void onConnectionLost();
    void reconnect();
    void flushSoon();
    void flushWrites();
    void holdBackWrites(bool hold);
    Sent send(const Message &message);
    void flushQueue();

    mosquitto *m_mosquitto = nullptr;
    BrokerAddress m_broker;
    QStringList m_subscriptions;
    std::deque<Message> m_queue;
    qint64 m_queuedBytes = 0;
    qint64 m_maxQueuedBytes = 64LL * 1024 * 1024;
    qint64 m_produced = 0;
    qint64 m_handed = 0;                 // to the library
    std::atomic<qint64> m_published = 0; // told by the library's thread
    std::atomic<qint64> m_oversized = 0;
    qint64 m_dropped = 0;
    qint64 m_refused = 0;
    QStringList m_refusalsSaid;
    int m_qos = 0;
    bool m_connected = false;
    bool m_everConnected = false;
    bool m_started = false;
    bool m_mqtt5 = false;
    bool m_ownLoop = false; // driven here, not on the library's thread
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    QTimer m_keepAlive;
    QTimer m_retry;
    int m_retryMs = 1000;
    bool m_refusedForGood = false;
    bool m_flushDue = false; // at the end of this turn of the event loop
};
