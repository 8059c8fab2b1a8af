#pragma once

#include "session/front_end.h"
#include "state/app_state.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// A front end that records what the session shows, in order, and answers its questions from plain fields.
class RecordingFrontEnd : public SessionFrontEnd
{
public:
    // Answers.
    bool analogOn = false;
    QSet<int> tickedChannels;
    QSet<int> monitoredPins;

    // What was shown.
    QStringList log;    // every log line
    QStringList events; // "pin 5 high", "adc 3 200", "blank 2", "status <text>", "line <text>", in order
    QString status;
    std::array<std::optional<std::int32_t>, kLastChannel + 1> readings{}; // nothing when blank or never shown
    std::array<std::optional<bool>, kLastPin + 1> pinLevels{};

    // The log as the log view would hold it: each line followed by CR LF.
    QString logText() const
    {
        QString text;
        for (const QString &line : log)
            text += line + QLatin1String("\r\n");
        return text;
    }
    void clear()
    {
        log.clear();
        events.clear();
    }

    void logLine(const QString &text) override { log.append(text); }
    void setStatusText(const QString &text) override
    {
        status = text;
        events.append(QStringLiteral("status ") + text);
    }
    void showPinLevel(int pin, bool high) override
    {
        pinLevels.at(pin) = high;
        events.append(QStringLiteral("pin %1 %2").arg(pin).arg(high ? "high" : "low"));
    }
    void showReading(int channel, std::int32_t value) override
    {
        readings.at(channel) = value;
        events.append(QStringLiteral("adc %1 %2").arg(channel).arg(value));
    }
    void blankReading(int channel) override
    {
        readings.at(channel).reset();
        events.append(QStringLiteral("blank %1").arg(channel));
    }
    bool analogRequestsOn() override { return analogOn; }
    bool isChannelTicked(int channel) override { return tickedChannels.contains(channel); }
    bool isPinMonitored(int pin) override { return monitoredPins.contains(pin); }
    void lineReceived(const QString &line, const Report &, bool consumed) override
    {
        if (!consumed)
            events.append(QStringLiteral("line ") + line);
    }
};
