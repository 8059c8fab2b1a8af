#pragma once

#include "alarms/alarm_file.h"
#include "network/mqtt_client.h"
#include "records/record_writer.h"
#include "session/event_stream.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

class Audit;
class BoardSession;
class Driver;
struct BridgeControl;
struct SessionEvent;

struct BridgeOptions {
    BrokerAddress broker;
    QStringList boards;  // empty: every attached board
    QList<int> channels; // requested ten times a second and published
    QList<int> pins;     // monitored and published
    QString prefix = QStringLiteral("vantrel");
    int qos = 0;
    bool allowControl = false;
    bool homeAssistant = false; // retained discovery configs under homeassistant/
    // Calibration and alarm rules for every board served: value/C in units, alarm/NAME raised or cleared.
    std::optional<AlarmSetup> alarms;
    qint64 maxQueuedBytes = 64LL * 1024 * 1024;
};

// Serves boards on an MQTT broker: each board has a session of its own and a broker connection whose last will
// marks it offline. Readings, pin levels, other lines and every event are published under PREFIX/BOARD/... (BOARD:
// the board's name as one topic level, safeNameOf); with allowControl, commands published to its control topics
// are carried out (each said on `err` first, escaped). A board pulled out is published offline and served again when
// it returns; boards attached later are found by a scan every 2 s. The broker's absence never stops the serving:
// what cannot go waits in a bounded queue. A broker that refuses the connection for good (credentials,
// authorisation, TLS verification) ends the serving: refusedForGood() is emitted once.
class Bridge : public QObject
{
    Q_OBJECT

public:
    Bridge(Driver &driver, BridgeOptions options, std::FILE *err, QObject *parent = nullptr);
    ~Bridge() override;

    // Looks for the boards and starts serving; false when no board at all could be served (said on `err`).
    bool start();
    // Publishes every board offline, closes the boards and disconnects.
    void stop();

    QStringList served() const;
    qint64 published() const;
    qint64 dropped() const;
    qint64 ignoredControls() const { return m_ignoredControls; }
    static constexpr int kScanIntervalMs = 2000;

Q_SIGNALS:
    void refusedForGood();

private:
    struct Served;
    void scan();
    void serve(const QString &serial, int position);
    void onEvent(Served &board, const SessionEvent &event);
    void publishEvents(Served &board);
    void onControl(Served &board, const QString &topic, const QByteArray &payload);
    void carryOut(Served &board, const BridgeControl &control);
    void publishStatus(Served &board, bool online);
    void publishBridge();
    // Home Assistant's discovery configs of a board; empty payloads take them away.
    void publishDiscovery(Served &board, bool present);
    void reportDrops();
    void say(const QString &text);
    // The outcomes of a connection (`who`: the bridge or a board) said once each.
    void watchConnection(MqttClient &client, const QString &who);
    QString topic(const Served &board, const QString &rest) const;

    Driver &m_driver;
    BridgeOptions m_options;
    std::FILE *m_err;
    std::unique_ptr<Audit> m_audit;
    std::vector<std::unique_ptr<Served>> m_served;
    std::unique_ptr<MqttClient> m_bridgeClient;
    std::unique_ptr<BoardSession> m_scanner; // lists boards; opens none
    qint64 m_origin = 0;                     // the records' t_ms count from the bridge's start
    QTimer m_eventFlush;                     // the records of this turn of the event loop, published at its end
    QTimer m_scan;
    QTimer m_dropReport;
    qint64 m_reportedDrops = 0;
    qint64 m_ignoredControls = 0;
    QStringList m_connectionSaid;
    bool m_refusedForGood = false;
    QString m_host;
};
