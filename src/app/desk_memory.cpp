#include "app/desk_memory.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace {

const QString kGroup = QStringLiteral("desk");
const QString kRestoreKey = QStringLiteral("desk/restoreAtStart");

QVariantList toVariants(const QList<int> &numbers)
{
    QVariantList list;
    for (int number : numbers)
        list.append(number);
    return list;
}

// Only numbers in range are taken back: the settings file may have been edited.
QList<int> numbersIn(const QVariant &value, bool (*inRange)(int))
{
    QList<int> numbers;
    for (const QVariant &item : value.toList()) {
        bool ok = false;
        const int number = item.toInt(&ok);
        if (ok && inRange(number) && !numbers.contains(number))
            numbers.append(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace

void DeskMemory::takeSetup(const BoardSetup &setup)
{
    tickedChannels.clear();
    monitoredPins.clear();
    outputPins.clear();
    outputLevels.clear();
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        if (setup.isTicked(channel))
            tickedChannels.append(channel);
    }
    for (int pin = kFirstPin; pin <= kLastPin; ++pin) {
        if (setup.isMonitored(pin))
            monitoredPins.append(pin);
        if (setup.isOutput(pin)) {
            outputPins.append(pin);
            outputLevels.append(setup.outputLevel(pin));
        }
    }
}

DeskMemory readDeskMemory()
{
    QSettings settings;
    settings.beginGroup(kGroup);
    DeskMemory memory;
    memory.board = settings.value(QStringLiteral("board")).toString();
    memory.tickedChannels = numbersIn(settings.value(QStringLiteral("tickedChannels")), isChannel);
    memory.monitoredPins = numbersIn(settings.value(QStringLiteral("monitoredPins")), isPin);
    memory.script = settings.value(QStringLiteral("script")).toString();
    const QStringList outputs = settings.value(QStringLiteral("outputs")).toStringList();
    for (const QString &output : outputs) {
        // "PIN:LEVEL"
        bool ok = false;
        const int pin = output.section(u':', 0, 0).toInt(&ok);
        if (!ok || !isPin(pin) || memory.outputPins.contains(pin))
            continue;
        memory.outputPins.append(pin);
        memory.outputLevels.append(output.section(u':', 1) == u"1");
    }
    return memory;
}

void keepDeskMemory(const DeskMemory &memory)
{
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("board"), memory.board);
    settings.setValue(QStringLiteral("tickedChannels"), toVariants(memory.tickedChannels));
    settings.setValue(QStringLiteral("monitoredPins"), toVariants(memory.monitoredPins));
    QStringList outputs;
    for (qsizetype i = 0; i < memory.outputPins.size(); ++i)
        outputs.append(QStringLiteral("%1:%2").arg(memory.outputPins[i]).arg(memory.outputLevels.value(i) ? 1 : 0));
    settings.setValue(QStringLiteral("outputs"), outputs);
    settings.setValue(QStringLiteral("script"), memory.script);
}

bool restoreAtStart()
{
    return QSettings().value(kRestoreKey, true).toBool();
}

void setRestoreAtStart(bool on)
{
    QSettings().setValue(kRestoreKey, on);
}

QString outputsNotRestoredText(const DeskMemory &memory)
{
    if (memory.outputPins.isEmpty())
        return QString();
    QStringList pins;
    for (qsizetype i = 0; i < memory.outputPins.size(); ++i) {
        pins.append(QStringLiteral("%1 %2")
                        .arg(memory.outputPins[i])
                        .arg(memory.outputLevels.value(i) ? QStringLiteral("high") : QStringLiteral("low")));
    }
    return QStringLiteral("Outputs of last time not driven : pin %1").arg(pins.join(QStringLiteral(", pin ")));
}
