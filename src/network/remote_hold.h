#pragma once

#include "session/poller.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>

class BoardSession;
class MqttClient;

// A served board held from another machine (the other side of the remote driver): while one holder has it, the
// bridge's own requests stop, the holder's bytes are written to the board, and what the board sends goes back to
// the holder, both ways as numbered frames. A second opener is told who holds it; the hold ends when the holder
// closes, is gone (its last will) or is silent for remote::kHolderSilenceMs, when the board is lost, or when the
// bridge stops.
class RemoteHold : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        QString prefix;       // the topics' first level
        QString serial;       // the board's
        bool allowed = false; // remote opening is control: only with --allow-control
        QList<int> channels;  // the bridge's own readings, stopped while held
    };
    using Say = std::function<void(const QString &)>;

    RemoteHold(BoardSession &session, MqttClient &client, Settings settings, Say say, QObject *parent = nullptr);

    // The patterns the board's connection must subscribe to.
    QStringList subscriptions() const;
    // Handles a message on one of those topics; false for any other topic.
    bool handle(const QString &topic, const QByteArray &payload);

    bool isHeld() const { return !m_client.isEmpty(); }
    QString holder() const { return m_holder; }
    // Ends a hold, telling the holder why.
    void end(const QString &reason);
    // Says on the broker who holds the board, or that nobody does (on every connection: a bridge killed while the
    // board was held left its word behind).
    void publishHolder();

    // The poll interval while the board is held: the holder's answers come back without delay.
    static constexpr std::chrono::milliseconds kHeldPollInterval{5};

private:
    void open(const QByteArray &payload);
    void close(const QByteArray &payload);
    void write(const QString &client, const QByteArray &payload);
    void heard(const QString &client, const QByteArray &payload);
    void answer(const QString &client, int kind, std::uint64_t token, const QString &reason);
    void forward(const char *bytes, std::uint32_t size);
    void release();
    void checkSilence();
    QString topic(const QString &rest) const;
    QString heldTopic() const;

    BoardSession &m_session;
    MqttClient &m_mqtt;
    Settings m_settings;
    Say m_say;
    QString m_client; // the holder's connection; empty while nobody holds the board
    QString m_holder; // the holder's own name for itself
    std::uint64_t m_token = 0;
    std::uint64_t m_expected = 1; // the next frame from the holder
    std::uint64_t m_sent = 0;     // frames sent to the holder
    QElapsedTimer m_lastHeard;
    QTimer m_silence;
    PollLease m_polling; // while held
};
