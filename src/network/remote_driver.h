#pragma once

#include "device/driver.h"
#include "device/driver_factory.h"
#include "network/mqtt_client.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

struct mosquitto;
struct mosquitto_message;

// Boards served by a bridge on an MQTT broker, used as if they were attached here. The boards listed are those
// whose status is "online", in serial-number order, each by the name its bridge gives it (a board named by its port,
// "/dev/ttyACM0", is served under one topic level, "_dev_ttyACM0", and listed by its name again); opening one asks its
// bridge to hold it for this process alone, and then the bytes written go to the bridge, which writes them to the
// board, and the board's bytes come back. Frames are numbered both ways: a frame missing on the way, the bridge going
// offline or the broker going away make the handle fail as an unplugged board's does.
//
// The broker's messages arrive on libmosquitto's own thread and are kept under a lock; the driver's calls,
// made on the caller's thread, never wait for the network except while opening (kAnswerWaitMs at most) and on
// the first listing (kFirstListWaitMs at most), which waits for the broker's retained statuses.
class RemoteDriver : public Driver
{
public:
    RemoteDriver(const BrokerAddress &broker, const QString &prefix, const QString &holder = defaultHolder());
    ~RemoteDriver() override;
    RemoteDriver(const RemoteDriver &) = delete;
    RemoteDriver &operator=(const RemoteDriver &) = delete;

    // Why the connection could not even be started (a TLS file the library refuses); empty when it could.
    QString startError() const { return m_startError; }
    // Why the broker refused the connection, and whether trying again cannot change it; empty while it has not.
    ConnectionRefusal refusal() const;
    // Waits at most `ms` for the broker to tell which boards are online (what the first listing would wait for);
    // whether it did.
    bool waitForBroker(int ms);
    // "user@host (pid N)": how other openers are told who holds a board. The user is $USER (or $LOGNAME,
    // $USERNAME), else the login name the system has for this process.
    static QString defaultHolder();

    std::uint32_t listDeviceCount(std::uint32_t *count) override;
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override;
    std::intptr_t createFile(const char *serial) override;
    bool closeHandle(std::intptr_t handle) override;
    bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) override;
    std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                            std::uint32_t *events) override;
    bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) override;
    QString openFailureReason() const override;
    QString heldElsewhereBy(const QString &serial) const override;

    static constexpr int kFirstListWaitMs = 3000;
    static constexpr int kAnswerWaitMs = 5000;
    // Most bytes kept unread for one handle; past it the handle fails rather than dropping any.
    static constexpr qsizetype kMaxUnreadBytes = 64LL * 1024 * 1024;

private:
    struct Link {
        QString serial;
        std::uint64_t token = 0;
        std::uint64_t sent = 0;     // frames written so far
        std::uint64_t expected = 1; // the next frame from the board
        QByteArray received;
        qsizetype readFrom = 0;
        bool answered = false;
        bool granted = false;
        bool broken = false;
        QString reason; // of a refusal
    };

    void onConnected(int result);
    void onRefused(const ConnectionRefusal &refusal);
    void onDisconnected();
    void onBridge(const QByteArray &payload);
    void onMessage(const mosquitto_message &message);
    void onAnswer(const QByteArray &payload);
    void onFrame(const QByteArray &payload);
    void breakLinks(const QString &serial);
    void beatHeart();
    bool publish(const QString &topic, const QByteArray &payload);
    QString boardTopic(const QString &serial, const QString &rest) const;
    QString remoteTopic(const QString &serial, const QString &verb) const;
    Link *linkFor(std::intptr_t handle);

    mosquitto *m_mosquitto = nullptr;
    BrokerAddress m_broker;
    QString m_prefix;
    QString m_holder;
    QString m_client;
    QString m_startError;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_connected = false;
    bool m_synced = false;     // the retained statuses have arrived since the connection was made
    bool m_listedOnce = false; // the first listing has waited for them
    bool m_stopping = false;
    ConnectionRefusal m_refusal;
    std::map<QString, bool> m_online;    // topic level -> online; ordered, as the listing is
    std::map<QString, QString> m_heldBy; // topic level -> the holder's name, as its bridge says
    std::map<QString, QString> m_names;  // topic level -> the board's name, as the bridges list them
    QStringList m_listing;
    std::map<std::intptr_t, Link> m_links;
    std::intptr_t m_nextHandle = 1;
    std::uint64_t m_nextToken = 1;
    QString m_openFailure;
    std::thread m_heart;
    // A refusal that ended the MQTT library's loop: started again by the heart's thread at this time.
    std::optional<std::chrono::steady_clock::time_point> m_restartAt;
    bool m_restartIn311 = false;
    bool m_mqtt5 = false; // on the library's thread, or before its loop starts
};

// The remote driver for boards served on `broker` under `prefix`, with a notice when it cannot work.
DriverChoice makeRemoteDriver(const BrokerAddress &broker, const QString &prefix);
