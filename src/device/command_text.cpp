#include "device/command_text.h"

QString numberField(int value)
{
    QString text = QString::number(value);
    if (value >= 0)
        text.prepend(u' ');
    return text;
}

QString pinCommand(int pin, QStringView suffix)
{
    QString text = QStringLiteral("pin ") + numberField(pin);
    text += suffix;
    return text;
}

QString analogRequest(int channel)
{
    QString text = QStringLiteral("adc ") + numberField(channel);
    text += kLf;
    return text;
}
