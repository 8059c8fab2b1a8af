#include "network/remote_protocol.h"

#include "records/safe_text.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>

namespace remote {

namespace {

std::optional<std::uint64_t> number(QByteArrayView text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || text.isEmpty() || !std::isdigit(static_cast<unsigned char>(text.front())))
        return std::nullopt;
    return value;
}

} // namespace

namespace {

bool isHolderCharacter(QChar c)
{
    return (c.unicode() < 0x80 && c.isLetterOrNumber()) || QStringView(u"._-@() ").contains(c);
}

} // namespace

bool isHolderName(const QString &name)
{
    return !name.isEmpty() && name.size() <= kMaxShownName && std::all_of(name.begin(), name.end(), isHolderCharacter);
}

QString holderNameOf(const QString &name)
{
    QString shown = name.left(kMaxShownName);
    for (QChar &c : shown) {
        if (!isHolderCharacter(c))
            c = u'_';
    }
    return shown.isEmpty() ? QStringLiteral("_") : shown;
}

QByteArray encodeFrame(std::uint64_t token, std::uint64_t sequence, const char *bytes, qsizetype size)
{
    QByteArray frame = QByteArray::number(token) + ' ' + QByteArray::number(sequence) + '\n';
    frame.append(bytes, size);
    return frame;
}

std::optional<Frame> decodeFrame(const QByteArray &payload)
{
    const qsizetype end = payload.indexOf('\n');
    if (end < 0 || end > 41)
        return std::nullopt;
    const QByteArrayView header(payload.constData(), end);
    const qsizetype space = header.indexOf(' ');
    if (space < 0)
        return std::nullopt;
    const std::optional<std::uint64_t> token = number(header.first(space));
    const std::optional<std::uint64_t> sequence = number(header.sliced(space + 1));
    if (!token || !sequence)
        return std::nullopt;
    return Frame{*token, *sequence, payload.sliced(end + 1)};
}

QByteArray encodeOpenRequest(const OpenRequest &request)
{
    const QJsonObject object{{QStringLiteral("client"), request.client},
                             {QStringLiteral("holder"), request.holder},
                             {QStringLiteral("token"), QString::number(request.token)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<OpenRequest> decodeOpenRequest(const QByteArray &payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    OpenRequest request;
    request.client = object.value(QStringLiteral("client")).toString();
    request.holder = object.value(QStringLiteral("holder")).toString();
    const std::optional<std::uint64_t> token = number(object.value(QStringLiteral("token")).toString().toLatin1());
    if (!isSafeName(request.client) || !token)
        return std::nullopt;
    if (request.holder.isEmpty())
        request.holder = request.client;
    request.token = *token;
    return request;
}

QByteArray encodeAnswer(const Answer &answer)
{
    static const char *const kWords[] = {"open", "refused", "lost"};
    QByteArray text = QByteArray(kWords[int(answer.kind)]) + ' ' + QByteArray::number(answer.token);
    if (!answer.reason.isEmpty())
        text += ' ' + answer.reason.toUtf8();
    return text;
}

std::optional<Answer> decodeAnswer(const QByteArray &payload)
{
    const QList<QByteArray> words = payload.split(' ');
    if (words.size() < 2)
        return std::nullopt;
    Answer answer;
    if (words[0] == "open")
        answer.kind = Answer::Kind::Open;
    else if (words[0] == "refused")
        answer.kind = Answer::Kind::Refused;
    else if (words[0] == "lost")
        answer.kind = Answer::Kind::Lost;
    else
        return std::nullopt;
    const std::optional<std::uint64_t> token = number(words[1]);
    if (!token)
        return std::nullopt;
    answer.token = *token;
    const qsizetype start = words[0].size() + words[1].size() + 2;
    answer.reason = start < payload.size() ? QString::fromUtf8(payload.sliced(start)) : QString();
    return answer;
}

QString shownName(const QString &name)
{
    QString shown;
    for (const QChar c : name) {
        if (shown.size() >= kMaxShownName)
            break;
        if (c.isPrint())
            shown.append(c);
    }
    return shown;
}

} // namespace remote
