#include "network/bridge.h"

#include "alarms/alarm_engine.h"
#include "device/board_commands.h"
#include "device/board_limits.h"
#include "device/driver.h"
#include "device/played_feed.h"
#include "device/report.h"
#include "network/audit.h"
#include "network/bridge_control.h"
#include "network/remote_hold.h"
#include "records/safe_text.h"
#include "session/board_session.h"
#include "session/poller.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>
#include <utility>

namespace {

bool isReportOfItsOwn(const SessionEvent &line)
{
    return line.report && line.report->applicable &&
           (line.report->kind == Report::Kind::Pin || line.report->kind == Report::Kind::Analog);
}

// A batch of records goes at once past this: well under what the remote side reads (64 KiB).
constexpr qint64 kEventBatchBytes = 16 * 1024;

} // namespace

// One board served: its session and its own broker connection (whose last will says it is offline).
struct Bridge::Served {
    QString serial;
    QString level; // the serial as one topic level
    std::unique_ptr<BoardSession> session;
    std::unique_ptr<MqttClient> client;
    std::unique_ptr<RemoteHold> hold;
    // The topics published to most, made once (UTF-8).
    QByteArray adcTopics[kLastChannel + 1];
    QByteArray pinTopics[kLastPin + 1];
    QByteArray valueTopics[kLastChannel + 1]; // of the channels calibrated; empty for the others
    QByteArray lineTopic;
    QByteArray eventTopic;
    // Its records not yet published: those of one turn of the event loop (a poll's readings) go as one message.
    RecordWriter events{RecordFormat::Jsonl};
    EventStream::Subscription subscription;
    PollLease polling;
    AlarmEngine alarms;
    bool online = false;
    bool warnedIgnored = false;
};

Bridge::Bridge(Driver &driver, BridgeOptions options, std::FILE *err, QObject *parent)
    : QObject(parent)
    , m_driver(driver)
    , m_options(std::move(options))
    , m_err(err)
    , m_audit(std::make_unique<Audit>([this](const QString &line) { say(line); }))
    , m_scanner(std::make_unique<BoardSession>(driver))
    , m_host(QSysInfo::machineHostName())
{
    m_scan.setInterval(kScanIntervalMs);
    connect(&m_scan, &QTimer::timeout, this, &Bridge::scan);
    m_dropReport.setInterval(60'000);
    connect(&m_dropReport, &QTimer::timeout, this, &Bridge::reportDrops);
    // A replay's t_ms counts from its span's start, on the recorded clock.
    PlayedFeed *played = driver.playedFeed();
    m_origin = played ? played->playedMoment().monoMs : monotonicClockMs();
    m_eventFlush.setSingleShot(true);
    m_eventFlush.setInterval(0);
    connect(&m_eventFlush, &QTimer::timeout, this, [this] {
        for (const auto &board : m_served)
            publishEvents(*board);
    });
}

Bridge::~Bridge()
{
    stop();
}

void Bridge::say(const QString &text)
{
    // Names and texts in it may come from the network or the board: nothing said may move the terminal.
    std::fprintf(m_err, "vantrel-cli: %s\n", escapedControls(text).toUtf8().constData());
    std::fflush(m_err);
}

QString Bridge::topic(const Served &board, const QString &rest) const
{
    return m_options.prefix + u'/' + board.level + u'/' + rest;
}

void Bridge::watchConnection(MqttClient &client, const QString &who)
{
    const QString broker = QStringLiteral("%1:%2").arg(m_options.broker.host).arg(m_options.broker.port);
    // Every board's connection meets the same refusal: said once for all.
    const auto once = [this](const QString &text) {
        if (!m_connectionSaid.contains(text)) {
            m_connectionSaid.append(text);
            say(text);
        }
    };
    connect(&client, &MqttClient::connectionRefused, this, [this, once, broker](const ConnectionRefusal &refusal) {
        once(QStringLiteral("broker %1 refused the connection: %2%3")
                 .arg(broker, refusal.reason, refusal.final ? QString() : QStringLiteral("; trying again")));
        if (refusal.final && !std::exchange(m_refusedForGood, true))
            Q_EMIT refusedForGood();
    });
    connect(&client, &MqttClient::unreachable, this,
            [once, broker] { once(QStringLiteral("broker %1 cannot be reached; trying again").arg(broker)); });
    connect(&client, &MqttClient::oversizedReceived, this, [this, who](const QString &topic, qsizetype size) {
        m_audit->refused(QStringLiteral("messages over 64 KiB"),
                         QStringLiteral("%1: refused a message of %2 bytes on %3: over 64 KiB, dropped unread")
                             .arg(who)
                             .arg(size)
                             .arg(quotedText(topic)));
    });
}

bool Bridge::start()
{
    const QString bridgeTopic = m_options.prefix + QStringLiteral("/bridges/") + m_host;
    m_bridgeClient = std::make_unique<MqttClient>(
        m_options.broker, QStringLiteral("vantrel-bridge-%1-%2").arg(m_host).arg(QCoreApplication::applicationPid()),
        MqttClient::Will{bridgeTopic, QByteArray(), true});
    m_bridgeClient->setMaxQueuedBytes(m_options.maxQueuedBytes);
    connect(m_bridgeClient.get(), &MqttClient::connected, this, &Bridge::publishBridge);
    watchConnection(*m_bridgeClient, QStringLiteral("bridge"));
    if (QString error; !m_bridgeClient->start(&error)) {
        say(QStringLiteral("broker %1: %2").arg(m_options.broker.host, error));
        return false;
    }
    scan();
    if (m_served.empty()) {
        say(QStringLiteral("no board to serve"));
        return false;
    }
    m_scan.start();
    m_dropReport.start();
    return true;
}

void Bridge::scan()
{
    const QStringList listed = m_scanner->scanDevices();
    for (int position = 0; position < listed.size(); ++position) {
        const QString &serial = listed[position];
        if (serial.isEmpty() || (!m_options.boards.isEmpty() && !m_options.boards.contains(serial)))
            continue;
        const bool known = std::any_of(m_served.begin(), m_served.end(),
                                       [&serial](const auto &board) { return board->serial == serial; });
        if (!known)
            serve(serial, position);
    }
}

void Bridge::serve(const QString &serial, int position)
{
    auto board = std::make_unique<Served>();
    board->serial = serial;
    board->level = safeNameOf(serial);
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
        board->adcTopics[channel] = topic(*board, QStringLiteral("adc/%1").arg(channel)).toUtf8();
    for (int pin = kFirstPin; pin <= kLastPin; ++pin)
        board->pinTopics[pin] = topic(*board, QStringLiteral("pin/%1").arg(pin)).toUtf8();
    if (m_options.alarms) {
        board->alarms.setCalibration(m_options.alarms->over(BoardCalibration()));
        board->alarms.setRules(m_options.alarms->rules);
        for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
            if (!board->alarms.calibration().channel(channel).isIdentity())
                board->valueTopics[channel] = topic(*board, QStringLiteral("value/%1").arg(channel)).toUtf8();
        }
    }
    board->lineTopic = topic(*board, QStringLiteral("line")).toUtf8();
    board->eventTopic = topic(*board, QStringLiteral("event")).toUtf8();
    board->events.setOrigin(m_origin);
    board->session = std::make_unique<BoardSession>(m_driver);
    BoardSession &session = *board->session;
    Served *raw = board.get();
    board->client = std::make_unique<MqttClient>(
        m_options.broker,
        QStringLiteral("vantrel-bridge-%1-%2-%3").arg(m_host, board->level).arg(QCoreApplication::applicationPid()),
        MqttClient::Will{topic(*board, QStringLiteral("status")), QByteArrayLiteral("offline"), true});
    board->client->setQos(m_options.qos);
    board->client->setMaxQueuedBytes(m_options.maxQueuedBytes);
    // On every connection, the board says it is there again.
    connect(board->client.get(), &MqttClient::connected, this, [this, raw] {
        publishStatus(*raw, !raw->session->isLost());
        publishDiscovery(*raw, true);
        raw->hold->publishHolder();
    });
    watchConnection(*board->client, QStringLiteral("board ") + serial);
    connect(board->client.get(), &MqttClient::messageReceived, this,
            [this, raw](const QString &topic, const QByteArray &payload) { onControl(*raw, topic, payload); });
    for (const char *control : {"send", "pin/+/set", "pin/+/monitor", "led/set"})
        board->client->subscribe(topic(*board, QString::fromLatin1(control)));
    board->hold = std::make_unique<RemoteHold>(
        session, *board->client,
        RemoteHold::Settings{m_options.prefix, serial, board->level, m_options.allowControl, m_options.channels},
        *m_audit);
    for (const QString &pattern : board->hold->subscriptions())
        board->client->subscribe(pattern);
    board->subscription = session.events().subscribe([this, raw](const SessionEvent &event) { onEvent(*raw, event); });
    session.scanDevices();
    session.selectDevice(position);
    if (session.handle() <= 0) {
        const QString reason = m_driver.openFailureReason();
        say(QStringLiteral("board %1 could not be opened%2")
                .arg(serial, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
        session.closeDevice();
        return;
    }
    session.setReconnect(true);
    for (const int channel : m_options.channels)
        session.setChannelTicked(channel, true);
    session.setAnalogRequestsOn(!m_options.channels.isEmpty());
    for (const int pin : m_options.pins)
        session.setPinMonitored(pin, true);

    QString error;
    if (!board->client->start(&error)) {
        say(QStringLiteral("board %1: broker: %2").arg(serial, error));
        session.closeDevice();
        return;
    }
    board->polling = session.wantPolling(Poller::kDefaultInterval, QStringLiteral("bridge"));
    m_served.push_back(std::move(board));
    publishBridge();
}

void Bridge::publishStatus(Served &board, bool online)
{
    board.online = online;
    board.client->publish(topic(board, QStringLiteral("status")), online ? "online" : "offline", true);
}

void Bridge::publishDiscovery(Served &board, bool present)
{
    if (!m_options.homeAssistant)
        return;
    const QString id = QStringLiteral("vantrel_") + board.level;
    const QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{id}},
                             {QStringLiteral("name"), QStringLiteral("Vantrel ") + board.serial},
                             {QStringLiteral("manufacturer"), QStringLiteral("Vantrel")},
                             {QStringLiteral("model"), QStringLiteral("USB I/O board")}};
    const auto config = [&](const QString &component, const QString &object, QJsonObject fields) {
        const QString topic = QStringLiteral("homeassistant/%1/%2/%3/config").arg(component, id, object);
        if (!present) {
            board.client->publish(topic, QByteArray(), true);
            return;
        }
        fields.insert(QStringLiteral("unique_id"), id + u'_' + object);
        fields.insert(QStringLiteral("availability_topic"), this->topic(board, QStringLiteral("status")));
        fields.insert(QStringLiteral("device"), device);
        board.client->publish(topic, QJsonDocument(fields).toJson(QJsonDocument::Compact), true);
    };
    for (int channel = 1; channel <= 8; ++channel) {
        config(QStringLiteral("sensor"), QStringLiteral("adc%1").arg(channel),
               {{QStringLiteral("name"), QStringLiteral("ADC %1").arg(channel)},
                {QStringLiteral("state_topic"), topic(board, QStringLiteral("adc/%1").arg(channel))}});
    }
    const BoardCalibration &calibration = board.alarms.calibration();
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        if (board.valueTopics[channel].isEmpty())
            continue;
        const ChannelCalibration &units = calibration.channel(channel);
        QJsonObject fields{
            {QStringLiteral("name"), units.name.isEmpty() ? QStringLiteral("Value %1").arg(channel) : units.name},
            {QStringLiteral("state_topic"), QString::fromUtf8(board.valueTopics[channel])}};
        if (!units.unit.isEmpty())
            fields.insert(QStringLiteral("unit_of_measurement"), units.unit);
        if (const QString deviceClass = deviceClassOfUnit(units.unit); !deviceClass.isEmpty())
            fields.insert(QStringLiteral("device_class"), deviceClass);
        config(QStringLiteral("sensor"), QStringLiteral("value%1").arg(channel), fields);
    }
    for (const AlarmEngine::Alarm &alarm : board.alarms.alarms()) {
        const QString level = safeNameOf(alarm.rule.name);
        config(QStringLiteral("binary_sensor"), QStringLiteral("alarm_") + level,
               {{QStringLiteral("name"), alarm.rule.name},
                {QStringLiteral("state_topic"), topic(board, QStringLiteral("alarm/") + level)},
                {QStringLiteral("payload_on"), QStringLiteral("raised")},
                {QStringLiteral("payload_off"), QStringLiteral("cleared")},
                {QStringLiteral("device_class"), QStringLiteral("problem")}});
    }
    for (int pin = 1; pin <= 18; ++pin) {
        if (m_options.pins.contains(pin)) {
            config(QStringLiteral("binary_sensor"), QStringLiteral("pin%1").arg(pin),
                   {{QStringLiteral("name"), QStringLiteral("Pin %1").arg(pin)},
                    {QStringLiteral("state_topic"), topic(board, QStringLiteral("pin/%1").arg(pin))},
                    {QStringLiteral("payload_on"), QStringLiteral("1")},
                    {QStringLiteral("payload_off"), QStringLiteral("0")}});
        } else if (m_options.allowControl) {
            // The pins not watched as inputs can be driven as outputs.
            config(QStringLiteral("switch"), QStringLiteral("pin%1").arg(pin),
                   {{QStringLiteral("name"), QStringLiteral("Pin %1 output").arg(pin)},
                    {QStringLiteral("command_topic"), topic(board, QStringLiteral("pin/%1/set").arg(pin))},
                    {QStringLiteral("payload_on"), QStringLiteral("1")},
                    {QStringLiteral("payload_off"), QStringLiteral("0")},
                    {QStringLiteral("optimistic"), true}});
        }
    }
}

void Bridge::publishBridge()
{
    // Retained: said on every connection, and again whenever the boards change while connected.
    if (!m_bridgeClient || !m_bridgeClient->isConnected())
        return;
    QJsonArray boards;
    for (const auto &board : m_served)
        boards.append(board->serial);
    const QJsonObject bridge{{QStringLiteral("host"), m_host},
                             {QStringLiteral("version"), QCoreApplication::applicationVersion()},
                             {QStringLiteral("boards"), boards}};
    m_bridgeClient->publish(m_options.prefix + QStringLiteral("/bridges/") + m_host,
                            QJsonDocument(bridge).toJson(QJsonDocument::Compact), true);
}

void Bridge::onEvent(Served &board, const SessionEvent &event)
{
    MqttClient &client = *board.client;
    // What happens to an alarm comes back here as an event of its own, after this one.
    if (m_options.alarms)
        board.alarms.take(event, board.session->events());
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
        if (m_options.channels.contains(event.index)) { // a channel asked for: 1 to 8
            client.publish(board.adcTopics[event.index], QByteArray::number(event.value));
            if (!board.valueTopics[event.index].isEmpty())
                client.publish(board.valueTopics[event.index],
                               QByteArray::number(board.alarms.calibration().channel(event.index).value(event.value),
                                                  'f', board.alarms.calibration().channel(event.index).decimals));
        }
        break;
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmCleared:
        // Retained: whoever subscribes later learns whether the alarm is up.
        client.publish(topic(board, QStringLiteral("alarm/") + safeNameOf(event.text.toString())),
                       event.kind == SessionEvent::Kind::AlarmRaised ? "raised" : "cleared", true);
        break;
    case SessionEvent::Kind::PinLevel:
        if (event.index >= kFirstPin && event.index <= kLastPin)
            client.publish(board.pinTopics[event.index], QByteArray::number(event.value));
        break;
    case SessionEvent::Kind::LineReceived:
        // A reading or a pin level has its own topic and its own event; other lines are published as text.
        if (isReportOfItsOwn(event))
            return;
        client.publish(board.lineTopic, event.text.toUtf8());
        break;
    case SessionEvent::Kind::Lost:
        board.hold->end(QStringLiteral("the board was lost at the bridge"));
        publishStatus(board, false);
        break;
    case SessionEvent::Kind::Back:
        publishStatus(board, true);
        break;
    case SessionEvent::Kind::CommandSent:
        // What a replay would have sent went nowhere: not told as a command.
        if (!event.flag && m_driver.playedFeed())
            return;
        break;
    default:
        break;
    }
    // Every event that has a record goes out in the records' schema, one JSON object a line; the records of one
    // turn of the event loop share a message: a message per record cost the broker and the bridge as much again as
    // the reading's own.
    if (board.events.record(event, board.serial)) {
        if (board.events.pendingBytes() >= kEventBatchBytes)
            publishEvents(board);
        else if (!m_eventFlush.isActive())
            m_eventFlush.start();
    }
}

void Bridge::publishEvents(Served &board)
{
    if (board.events.pendingBytes() == 0)
        return;
    QByteArray records = board.events.takePending();
    records.chop(1); // the last line's end
    board.client->publish(board.eventTopic, records);
}

void Bridge::onControl(Served &board, const QString &topic, const QByteArray &payload)
{
    if (board.hold->handle(topic, payload))
        return;
    if (!m_options.allowControl) {
        ++m_ignoredControls;
        if (!std::exchange(board.warnedIgnored, true))
            say(QStringLiteral("control messages are ignored without --allow-control (first: %1)")
                    .arg(quotedText(topic)));
        return;
    }
    QString why;
    std::optional<BridgeControl> control = parseBridgeControl(m_options.prefix, topic, payload, &why);
    // A board held from another machine takes commands from its holder alone.
    if (control && board.hold->isHeld()) {
        why = QStringLiteral("in use by ") + board.hold->holder();
        control.reset();
    }
    // Every command from the network is said, carried out or not; the refused ones at most once a second.
    const QString line = QStringLiteral("control %1 %2").arg(topic, quotedText(QString::fromUtf8(payload)));
    if (!control) {
        m_audit->refused(QStringLiteral("control messages"), line + QStringLiteral(" refused: ") + why);
        return;
    }
    m_audit->say(line);
    if (control->serial == board.level)
        carryOut(board, *control);
}

void Bridge::carryOut(Served &board, const BridgeControl &control)
{
    BoardSession &session = *board.session;
    switch (control.kind) {
    case BridgeControl::Kind::Send:
        session.sendTyped(control.text);
        break;
    case BridgeControl::Kind::PinSet:
        session.makePinOutputAt(control.pin, control.on);
        break;
    case BridgeControl::Kind::PinMonitor:
        session.setPinMonitored(control.pin, control.on);
        break;
    case BridgeControl::Kind::Led:
        session.send(ledCommand(control.on));
        break;
    }
}

void Bridge::reportDrops()
{
    const qint64 drops = dropped();
    if (drops > m_reportedDrops) {
        say(QStringLiteral("the broker could not be reached: %1 messages dropped so far").arg(drops));
        m_reportedDrops = drops;
    }
}

QStringList Bridge::served() const
{
    QStringList serials;
    for (const auto &board : m_served)
        serials.append(board->serial);
    return serials;
}

qint64 Bridge::published() const
{
    qint64 total = 0;
    for (const auto &board : m_served)
        total += board->client->published();
    return total;
}

qint64 Bridge::dropped() const
{
    qint64 total = 0;
    for (const auto &board : m_served)
        total += board->client->dropped();
    return total;
}

void Bridge::stop()
{
    m_scan.stop();
    m_dropReport.stop();
    for (const auto &board : m_served) {
        board->hold->end(QStringLiteral("the bridge stopped"));
        for (const int pin : m_options.pins)
            board->session->setPinMonitored(pin, false);
        // Closed before its polling goes: the end of serving is no gap.
        board->session->closeDevice();
        board->polling.reset();
        publishEvents(*board);
        publishStatus(*board, false);
        publishDiscovery(*board, false);
        board->client->stop();
        // Every message accounted for: sent (acknowledged at QoS 1), dropped while the broker was away, refused by
        // the library, or left unsent.
        const MqttClient &client = *board->client;
        say(QStringLiteral("served %1: %2 messages, %3 published, %4 dropped, %5 refused, %6 unsent")
                .arg(board->serial)
                .arg(client.produced())
                .arg(client.published())
                .arg(client.dropped())
                .arg(client.refused())
                .arg(client.unsent()));
    }
    m_served.clear();
    m_audit->flush();
    if (m_bridgeClient) {
        m_bridgeClient->publish(m_options.prefix + QStringLiteral("/bridges/") + m_host, QByteArray(), true);
        m_bridgeClient->stop();
        m_bridgeClient.reset();
    }
}
