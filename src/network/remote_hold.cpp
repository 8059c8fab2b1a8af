#include "network/remote_hold.h"

#include "network/mqtt_client.h"
#include "network/remote_protocol.h"
#include "session/board_session.h"
#include "session/poller.h"

#include <utility>

using remote::Answer;

RemoteHold::RemoteHold(BoardSession &session, MqttClient &client, Settings settings, Say say, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_mqtt(client)
    , m_settings(std::move(settings))
    , m_say(std::move(say))
{
    m_silence.setInterval(1000);
    connect(&m_silence, &QTimer::timeout, this, &RemoteHold::checkSilence);
}

QString RemoteHold::topic(const QString &rest) const
{
    return m_settings.prefix + u'/' + m_settings.serial + QStringLiteral("/remote/") + rest;
}

void RemoteHold::publishHolder()
{
    // Retained, so that anyone listing the boards sees who holds this one; empty while nobody does.
    m_mqtt.publish(heldTopic(), remote::shownName(m_holder).toUtf8(), true, 1);
}

QString RemoteHold::heldTopic() const
{
    return m_settings.prefix + u'/' + m_settings.serial + QStringLiteral("/held");
}

QStringList RemoteHold::subscriptions() const
{
    return {topic(QStringLiteral("open")), topic(QStringLiteral("close")), topic(QStringLiteral("+/tx")),
            m_settings.prefix + QStringLiteral("/holders/+")};
}

bool RemoteHold::handle(const QString &topic, const QByteArray &payload)
{
    const QString holders = m_settings.prefix + QStringLiteral("/holders/");
    if (topic.startsWith(holders)) {
        heard(topic.sliced(holders.size()), payload);
        return true;
    }
    const QString mine = this->topic(QString());
    if (!topic.startsWith(mine))
        return false;
    const QStringView rest = QStringView(topic).sliced(mine.size());
    if (rest == u"open")
        open(payload);
    else if (rest == u"close")
        close(payload);
    else if (rest.endsWith(u"/tx"))
        write(rest.chopped(3).toString(), payload);
    return true;
}

void RemoteHold::answer(const QString &client, int kind, std::uint64_t token, const QString &reason)
{
    m_mqtt.publish(topic(client + QStringLiteral("/answer")), remote::encodeAnswer({Answer::Kind(kind), token, reason}),
                   false, 1);
}

void RemoteHold::open(const QByteArray &payload)
{
    const std::optional<remote::OpenRequest> request = remote::decodeOpenRequest(payload);
    if (!request)
        return;
    QString refusal;
    if (!m_settings.allowed)
        refusal = QStringLiteral("the bridge does not allow remote opening (it runs without --allow-control)");
    else if (m_session.handle() <= 0 || m_session.isLost())
        refusal = QStringLiteral("the board is not attached at the bridge");
    else if (isHeld() && m_client != request->client)
        refusal = QStringLiteral("in use by ") + m_holder;
    m_say(QStringLiteral("remote %1 open by %2%3")
              .arg(m_settings.serial, request->holder,
                   refusal.isEmpty() ? QString() : QStringLiteral(" refused: ") + refusal));
    if (!refusal.isEmpty()) {
        answer(request->client, int(Answer::Kind::Refused), request->token, refusal);
        return;
    }
    // The same holder opening again (after it lost the board) starts afresh.
    const bool wasHeld = isHeld();
    m_client = request->client;
    m_holder = request->holder;
    m_token = request->token;
    m_expected = 1;
    m_sent = 0;
    m_lastHeard.start();
    if (!wasHeld) {
        publishHolder();
        m_session.setAnalogRequestsOn(false);
        // What the board has answered the bridge so far stays the bridge's.
        m_session.poller().pollNow();
        m_polling = m_session.wantPolling(kHeldPollInterval, QStringLiteral("remote hold"));
        m_session.setReceiveTap([this](const char *bytes, std::uint32_t size) { forward(bytes, size); });
        m_silence.start();
    }
    answer(m_client, int(Answer::Kind::Open), m_token, QString());
}

void RemoteHold::close(const QByteArray &payload)
{
    const QList<QByteArray> words = payload.split(' ');
    if (!isHeld() || words.size() != 2 || QString::fromUtf8(words[0]) != m_client ||
        words[1] != QByteArray::number(m_token))
        return;
    m_say(QStringLiteral("remote %1 closed by %2").arg(m_settings.serial, m_holder));
    release();
}

void RemoteHold::write(const QString &client, const QByteArray &payload)
{
    const std::optional<remote::Frame> frame = remote::decodeFrame(payload);
    if (!frame || client != m_client || frame->token != m_token)
        return; // not the holder's, or from an opening that is over
    m_lastHeard.start();
    if (frame->sequence < m_expected)
        return; // sent again after a reconnection: written already
    if (frame->sequence > m_expected) {
        end(QStringLiteral("bytes to the board went missing on the way"));
        return;
    }
    ++m_expected;
    m_session.writeRaw(frame->bytes);
}

void RemoteHold::heard(const QString &client, const QByteArray &payload)
{
    if (!isHeld() || client != m_client)
        return;
    if (payload == "gone") {
        m_say(QStringLiteral("remote %1 freed: %2 is gone").arg(m_settings.serial, m_holder));
        release();
        return;
    }
    m_lastHeard.start();
}

void RemoteHold::checkSilence()
{
    if (isHeld() && m_lastHeard.hasExpired(remote::kHolderSilenceMs)) {
        m_say(QStringLiteral("remote %1 freed: %2 went silent").arg(m_settings.serial, m_holder));
        release();
    }
}

void RemoteHold::forward(const char *bytes, std::uint32_t size)
{
    m_mqtt.publish(topic(m_client + QStringLiteral("/rx")), remote::encodeFrame(m_token, ++m_sent, bytes, size), false,
                   1);
}

void RemoteHold::end(const QString &reason)
{
    if (!isHeld())
        return;
    m_say(QStringLiteral("remote %1 taken from %2: %3").arg(m_settings.serial, m_holder, reason));
    answer(m_client, int(Answer::Kind::Lost), m_token, reason);
    release();
}

void RemoteHold::release()
{
    const bool wasHeld = isHeld();
    m_client.clear();
    m_holder.clear();
    if (wasHeld)
        publishHolder();
    m_silence.stop();
    m_session.setReceiveTap({});
    m_polling.reset();
    m_session.setAnalogRequestsOn(!m_settings.channels.isEmpty());
}
