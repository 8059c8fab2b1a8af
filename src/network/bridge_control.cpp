#include "network/bridge_control.h"

#include "device/board_limits.h"

#include <QList>

std::optional<BridgeControl> parseBridgeControl(QStringView prefix, QStringView topic, const QByteArray &payload,
                                                QString *why)
{
    const auto refuse = [why](const QString &reason) -> std::optional<BridgeControl> {
        *why = reason;
        return std::nullopt;
    };
    if (!topic.startsWith(prefix) || topic.size() <= prefix.size() || topic[prefix.size()] != u'/')
        return refuse(QStringLiteral("not under the topic prefix"));
    const QList<QStringView> parts = topic.mid(prefix.size() + 1).split(u'/');
    if (parts.size() < 2 || parts[0].isEmpty())
        return refuse(QStringLiteral("no board named"));
    BridgeControl control;
    control.serial = parts[0].toString();
    const QByteArray word = payload.trimmed().toLower();
    const auto onOff = [&](bool *on) {
        if (word != "on" && word != "off")
            return false;
        *on = word == "on";
        return true;
    };
    if (parts.size() == 2 && parts[1] == u"send") {
        const QString text = QString::fromUtf8(payload);
        if (text.toUtf8() != payload)
            return refuse(QStringLiteral("the command is not UTF-8 text"));
        if (text.size() > kMaxCommand)
            return refuse(QStringLiteral("the command is longer than %1 characters").arg(kMaxCommand));
        if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
            return refuse(QStringLiteral("the command holds a line break"));
        control.kind = BridgeControl::Kind::Send;
        control.text = text;
        return control;
    }
    if (parts.size() == 3 && parts[1] == u"led" && parts[2] == u"set") {
        control.kind = BridgeControl::Kind::Led;
        if (!onOff(&control.on))
            return refuse(QStringLiteral("led/set takes on or off"));
        return control;
    }
    if (parts.size() == 4 && parts[1] == u"pin") {
        bool ok = false;
        control.pin = parts[2].toInt(&ok);
        if (!ok || control.pin < kFirstPin || control.pin > kLastPin || parts[2].startsWith(u'+'))
            return refuse(QStringLiteral("no pin %1").arg(parts[2]));
        if (parts[3] == u"set") {
            control.kind = BridgeControl::Kind::PinSet;
            if (word != "1" && word != "0")
                return refuse(QStringLiteral("pin/N/set takes 1 or 0"));
            control.on = word == "1";
            return control;
        }
        if (parts[3] == u"monitor") {
            control.kind = BridgeControl::Kind::PinMonitor;
            if (!onOff(&control.on))
                return refuse(QStringLiteral("pin/N/monitor takes on or off"));
            return control;
        }
    }
    return refuse(QStringLiteral("not a control topic"));
}
