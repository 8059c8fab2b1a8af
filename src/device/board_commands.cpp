#include "device/board_commands.h"

namespace {

constexpr QStringView kCrLf = u"\r\n";
constexpr QStringView kLf = u"\n";

// A number as the board's commands write it: a blank in place of the sign of a non-negative number.
void appendNumberField(QString &text, int value)
{
    if (value >= 0)
        text += u' ';
    text += QString::number(value);
}

QStringView pinSuffix(PinAction action)
{
    switch (action) {
    case PinAction::Input:
        return u" input";
    case PinAction::Output:
        return u" output";
    case PinAction::Set:
        return u" set";
    case PinAction::Clear:
        return u" clear";
    case PinAction::MonitorOn:
        return u" monitor on";
    case PinAction::MonitorOff:
        break;
    }
    return u" monitor off";
}

} // namespace

QString identityCommand()
{
    return QStringLiteral("id\r\n");
}

QString ledCommand(bool on)
{
    return on ? QStringLiteral("led on\n") : QStringLiteral("led off\n");
}

QString resetCommand()
{
    return QStringLiteral("reset\r\n");
}

QString typedCommand(QStringView text)
{
    QString command;
    command.reserve(text.size() + 2);
    command += text;
    command += kCrLf;
    return command;
}

QString scriptCommand(QStringView linesWithCrLf)
{
    return typedCommand(linesWithCrLf);
}

QString pinCommandText(int pin, PinAction action)
{
    QString text = QStringLiteral("pin ");
    appendNumberField(text, pin);
    text += pinSuffix(action);
    return text;
}

bool isLoggedPinAction(PinAction action)
{
    return action != PinAction::MonitorOn && action != PinAction::MonitorOff;
}

QString pinCommand(int pin, PinAction action)
{
    QString text = pinCommandText(pin, action);
    text += isLoggedPinAction(action) ? kCrLf : kLf;
    return text;
}

QString analogRequests(const std::bitset<9> &channels)
{
    QString batch;
    for (std::size_t channel = 1; channel < channels.size(); ++channel) {
        if (!channels.test(channel))
            continue;
        batch += u"adc ";
        appendNumberField(batch, int(channel));
        batch += kLf;
    }
    return batch;
}
