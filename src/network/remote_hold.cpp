#include "network/remote_hold.h"

#include "network/audit.h"
#include "network/mqtt_client.h"
#include "records/safe_text.h"
#include "session/board_session.h"
#include "session/poller.h"

#include <algorithm>
#include <utility>

using remote::Answer;

RemoteHold::RemoteHold(BoardSession &session, MqttClient &client, Settings settings, Audit &audit, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_mqtt(client)
    , m_settings(std::move(settings))
    , m_audit(audit)
{
    m_silence.setInterval(1000);
    connect(&m_silence, &QTimer::timeout, this, &RemoteHold::checkSilence);
}

QString RemoteHold::topic(const QString &rest) const
{
    return m_settings.prefix + u'/' + m_settings.level + QStringLiteral("/remote/") + rest;
}

void RemoteHold::publishHolder()
{
    // Retained, so that anyone listing the boards sees who holds this one; empty while nobody does.
    m_mqtt.publish(heldTopic(), m_holder.toUtf8(), true, 1);
}

QString RemoteHold::heldTopic() const
{
    return m_settings.prefix + u'/' + m_settings.level + QStringLiteral("/held");
}

QStringList RemoteHold::subscriptions() const
{
    return {topic(QStringLiteral("+/open")), topic(QStringLiteral("+/close")), topic(QStringLiteral("+/tx")),
            m_settings.prefix + QStringLiteral("/holders/+")};
}

bool RemoteHold::handle(const QString &topic, const QByteArray &payload)
{
    const QString holders = m_settings.prefix + QStringLiteral("/holders/");
    const QString mine = this->topic(QString());
    const bool isHolders = topic.startsWith(holders);
    if (!isHolders && !topic.startsWith(mine))
        return false;
    const QStringList levels = topic.sliced(isHolders ? holders.size() : mine.size()).split(u'/');
    const QString &client = levels.front();
    if (!isSafeName(client)) {
        refuse(QStringLiteral("messages from clients without a safe name"),
               QStringLiteral("remote %1: refused a message on %2: the client's name is not letters, digits, . _ - "
                              "(at most 64)")
                   .arg(m_settings.serial, quotedText(topic)));
        return true;
    }
    if (isHolders)
        heard(client, payload);
    else if (levels.size() == 2 && levels[1] == u"open")
        open(client, payload);
    else if (levels.size() == 2 && levels[1] == u"close")
        close(client, payload);
    else if (levels.size() == 2 && levels[1] == u"tx")
        write(client, payload);
    return true;
}

void RemoteHold::refuse(const QString &what, const QString &line)
{
    m_audit.refused(what, line);
}

void RemoteHold::answer(const QString &client, int kind, std::uint64_t token, const QString &reason)
{
    m_mqtt.publish(topic(client + QStringLiteral("/answer")), remote::encodeAnswer({Answer::Kind(kind), token, reason}),
                   false, 1);
}

QString RemoteHold::refusalOf(const QString &client, const remote::OpenRequest &request) const
{
    if (!m_settings.allowed)
        return QStringLiteral("the bridge does not allow remote opening (it runs without --allow-control)");
    if (!remote::isHolderName(request.holder))
        return QStringLiteral("the holder's name is not 1 to 64 letters, digits, blanks and . _ - @ ( )");
    if (m_session.handle() <= 0 || m_session.isLost())
        return QStringLiteral("the board is not attached at the bridge");
    // The holder's own client with another token is someone else too: whoever read its request.
    if (isHeld() && (m_client != client || m_token != request.token))
        return QStringLiteral("in use by ") + m_holder;
    return {};
}

void RemoteHold::open(const QString &client, const QByteArray &payload)
{
    const std::optional<remote::OpenRequest> request = remote::decodeOpenRequest(payload);
    if (!request || request->client != client) {
        refuse(QStringLiteral("opens that are not requests"),
               QStringLiteral("remote %1 open from %2 refused: not a request of its own client: %3")
                   .arg(m_settings.serial, client, quotedText(QString::fromUtf8(payload))));
        return;
    }
    const QString refusal = refusalOf(client, *request);
    if (!refusal.isEmpty()) {
        refuse(QStringLiteral("opens"), QStringLiteral("remote %1 open by %2 refused: %3")
                                            .arg(m_settings.serial, quotedText(request->holder), refusal));
        answer(client, int(Answer::Kind::Refused), request->token, refusal);
        return;
    }
    if (isHeld()) {
        // Its own request again (sent twice on the way): the opening goes on as it was.
        answer(m_client, int(Answer::Kind::Open), m_token, QString());
        return;
    }
    m_audit.say(QStringLiteral("remote %1 open by %2").arg(m_settings.serial, request->holder));
    m_client = client;
    m_holder = request->holder;
    m_token = request->token;
    m_expected = 1;
    m_sent = 0;
    m_lastHeard.start();
    publishHolder();
    m_session.setAnalogRequestsOn(false);
    // What the board has answered the bridge so far stays the bridge's.
    m_session.poller().pollNow();
    m_polling = m_session.wantPolling(kHeldPollInterval, QStringLiteral("remote hold"));
    m_session.setReceiveTap([this](const char *bytes, std::uint32_t size) { forward(bytes, size); });
    m_silence.start();
    answer(m_client, int(Answer::Kind::Open), m_token, QString());
}

void RemoteHold::close(const QString &client, const QByteArray &payload)
{
    const QList<QByteArray> words = payload.split(' ');
    if (!isHeld() || words.size() != 2 || client != m_client || QString::fromUtf8(words[0]) != m_client ||
        words[1] != QByteArray::number(m_token)) {
        refuse(QStringLiteral("closes"),
               QStringLiteral("remote %1 close from %2 refused: not of the opening under way: %3")
                   .arg(m_settings.serial, client, quotedText(QString::fromUtf8(payload))));
        return;
    }
    m_audit.say(QStringLiteral("remote %1 closed by %2").arg(m_settings.serial, m_holder));
    // The holder has let go already and does not hear this; one that did not ask to close learns it lost the board.
    answer(m_client, int(Answer::Kind::Lost), m_token, QStringLiteral("closed"));
    release();
}

void RemoteHold::write(const QString &client, const QByteArray &payload)
{
    const std::optional<remote::Frame> frame = remote::decodeFrame(payload);
    if (!frame || client != m_client || frame->token != m_token) {
        // Not the holder's, or from an opening that is over.
        refuse(QStringLiteral("frames"), QStringLiteral("remote %1 frame from %2 refused: not of the opening under way")
                                             .arg(m_settings.serial, client));
        return;
    }
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
    // Every holder of every board is heard here; only this board's counts.
    if (!isHeld() || client != m_client)
        return;
    if (payload == "gone") {
        end(QStringLiteral("%1 is gone").arg(m_holder));
        return;
    }
    m_lastHeard.start();
}

void RemoteHold::checkSilence()
{
    if (isHeld() && m_lastHeard.hasExpired(remote::kHolderSilenceMs))
        end(QStringLiteral("%1 went silent").arg(m_holder));
}

void RemoteHold::forward(const char *bytes, std::uint32_t size)
{
    const QString rx = topic(m_client + QStringLiteral("/rx"));
    for (std::uint32_t offset = 0; offset < size; offset += remote::kMaxFrameBytes) {
        const qsizetype length = std::min<qsizetype>(remote::kMaxFrameBytes, qsizetype(size - offset));
        m_mqtt.publish(rx, remote::encodeFrame(m_token, ++m_sent, bytes + offset, length), false, 1);
    }
}

void RemoteHold::end(const QString &reason)
{
    if (!isHeld())
        return;
    m_audit.say(QStringLiteral("remote %1 taken from %2: %3").arg(m_settings.serial, m_holder, reason));
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
