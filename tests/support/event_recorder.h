#pragma once

#include "device/board_limits.h"
#include "session/board_session.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// Subscribes to a session and keeps what it told, in order, as the windows would show it.
class EventRecorder
{
public:
    explicit EventRecorder(BoardSession &session)
        : m_subscription(session.events().subscribe([this](const SessionEvent &event) { take(event); }))
    {}

    QStringList log;    // every log line
    QStringList events; // "pin 5 high", "adc 3 200", "blank 2", "status <text>", "line <text>", in order
    QString status;
    std::array<std::optional<std::int32_t>, kLastChannel + 1> readings{}; // nothing when blank or never shown
    std::array<std::optional<bool>, kLastPin + 1> pinLevels{};
    QList<SessionEvent::Kind> kinds; // of every event
    QList<EventStamp> stamps;        // of every event

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
        kinds.clear();
        stamps.clear();
    }

private:
    void take(const SessionEvent &event)
    {
        kinds.append(event.kind);
        stamps.append(event.stamp);
        switch (event.kind) {
        case SessionEvent::Kind::LogLine:
            log.append(event.text.toString());
            break;
        case SessionEvent::Kind::StatusText:
            status = event.text.toString();
            events.append(QStringLiteral("status ") + status);
            break;
        case SessionEvent::Kind::PinLevel:
            pinLevels.at(std::size_t(event.index)) = event.value != 0;
            events.append(QStringLiteral("pin %1 %2").arg(event.index).arg(event.value != 0 ? "high" : "low"));
            break;
        case SessionEvent::Kind::Reading:
            readings.at(std::size_t(event.index)) = event.value;
            events.append(QStringLiteral("adc %1 %2").arg(event.index).arg(event.value));
            break;
        case SessionEvent::Kind::AnalogPoll:
            // The analog window blanks every channel that is not ticked.
            for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
                if (!event.source->setup().isTicked(channel)) {
                    readings.at(std::size_t(channel)).reset();
                    events.append(QStringLiteral("blank %1").arg(channel));
                }
            }
            break;
        case SessionEvent::Kind::LineReceived:
            if (!event.flag)
                events.append(QStringLiteral("line ") + event.text.toString());
            break;
        default:
            break;
        }
    }

    EventStream::Subscription m_subscription;
};
