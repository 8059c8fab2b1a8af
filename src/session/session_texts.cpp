#include "session/session_texts.h"

#include "session/session_event.h"

#include <algorithm>

namespace texts {

QString deviceSelected(QStringView serial)
{
    return QStringLiteral("Device selected : ").append(serial);
}

QString noDeviceSelected()
{
    return QStringLiteral("Device selected : -none-");
}

QString deviceNotOpenedLog(QStringView serial, QStringView reason)
{
    QString text = QStringLiteral("Device could not be opened : ").append(serial);
    if (!reason.isEmpty())
        text.append(QStringLiteral(" - ")).append(reason);
    return text;
}

QString deviceNotOpenedStatus(QStringView serial)
{
    return QStringLiteral("Device not opened : ").append(serial);
}

QString deviceLost(QStringView serial)
{
    return QStringLiteral("Device lost : ").append(serial);
}

QString deviceClosed(QStringView serial)
{
    return QStringLiteral("Device closed : ").append(serial);
}

QString received(QStringView line)
{
    // One allocation of the right size: a busy board sends thousands of lines a second.
    static constexpr QStringView prefix = u"received : ";
    QString text(prefix.size() + line.size(), Qt::Uninitialized);
    QChar *out = text.data();
    std::copy(prefix.begin(), prefix.end(), out);
    std::copy(line.begin(), line.end(), out + prefix.size());
    return text;
}

QString singleByte(unsigned char byte)
{
    return QStringLiteral("byte : ") + QString::number(byte);
}

QString typed(QStringView command)
{
    return QStringLiteral(">").append(command);
}

QString notSentNoBoard()
{
    return QStringLiteral("Not sent : no board open");
}

QString notSentRefused(QStringView why)
{
    return QStringLiteral("Not sent : ").append(why);
}

QString recordedCommand(QStringView command)
{
    QString shown = command.toString();
    shown.replace(QLatin1String("\r"), QLatin1String("\\r")).replace(QLatin1String("\n"), QLatin1String("\\n"));
    return QStringLiteral("sent : ").append(shown);
}

QString notSentAsTyped(qsizetype characters)
{
    return QStringLiteral("Not sent as typed : %1 characters outside the board's character set").arg(characters);
}

QString journalStopped(QStringView reason)
{
    return QStringLiteral("Journal stopped : ").append(reason);
}

QString gapReason(GapReason reason)
{
    switch (reason) {
    case GapReason::NoBoard:
        return QStringLiteral("no board open");
    case GapReason::BoardLost:
        return QStringLiteral("board lost");
    case GapReason::RequestsOff:
        return QStringLiteral("requests off");
    case GapReason::NoChannel:
        return QStringLiteral("no channel ticked");
    case GapReason::ChannelUnticked:
        return QStringLiteral("channel unticked");
    case GapReason::PollingStopped:
        return QStringLiteral("polling stopped");
    case GapReason::PollStalled:
        return QStringLiteral("poll stalled");
    }
    return QString();
}

QString gapRecord(QStringView reason, QStringView detail)
{
    if (detail.isEmpty())
        return reason.toString();
    return reason.toString().append(QStringLiteral(" (")).append(detail).append(u')');
}

} // namespace texts
