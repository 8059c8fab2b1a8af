#pragma once

#include "network/remote_protocol.h"
#include "session/poller.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>

class Audit;
class BoardSession;
class MqttClient;

// A served board held from another machine (the other side of the remote driver): while one holder has it, the
// bridge's own requests stop, the holder's bytes are written to the board, and what the board sends goes back to
// the holder, both ways as numbered frames. A second opener is told who holds it, and so is the holder's own client
// opening again with another token; the hold ends when the holder closes, is gone (its last will) or is silent for
// remote::kHolderSilenceMs, when the board is lost, or when the bridge stops. Whatever ends it, the holder is told
// ("lost"), so that a hold ended by someone else's message is never ended in silence. Messages whose names are not
// safe, or that are not the holder's, are refused and said through the audit.
class RemoteHold : public QObject
{
    Q_OBJECT

public:
    struct Settings {
        QString prefix;       // the topics' first level
        QString serial;       // the board's name, as said
        QString level;        // the board's name as one topic level
        bool allowed = false; // remote opening is control: only with --allow-control
        QList<int> channels;  // the bridge's own readings, stopped while held
    };
    RemoteHold(BoardSession &session, MqttClient &client, Settings settings, Audit &audit, QObject *parent = nullptr);

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
    void open(const QString &client, const QByteArray &payload);
    QString refusalOf(const QString &client, const remote::OpenRequest &request) const;
    void close(const QString &client, const QByteArray &payload);
    void write(const QString &client, const QByteArray &payload);
    void heard(const QString &client, const QByteArray &payload);
    void refuse(const QString &what, const QString &line);
    void answer(const QString &client, int kind, std::uint64_t token, const QString &reason);
    void forward(const char *bytes, std::uint32_t size);
    void release();
    void checkSilence();
    QString topic(const QString &rest) const;
    QString heldTopic() const;

    BoardSession &m_session;
    MqttClient &m_mqtt;
    Settings m_settings;
    Audit &m_audit;
    QString m_client; // the holder's connection; empty while nobody holds the board
    QString m_holder; // the holder's own name for itself
    std::uint64_t m_token = 0;
    std::uint64_t m_expected = 1; // the next frame from the holder
    std::uint64_t m_sent = 0;     // frames sent to the holder
    QElapsedTimer m_lastHeard;
    QTimer m_silence;
    PollLease m_polling; // while held
};
