#pragma once

#include <QByteArrayView>
#include <QStringView>
#include <QtGlobal>

#include <cstdint>
#include <initializer_list>

class BoardSession;
struct Report;

// When an event happened, read once where it happened: a monotonic time for intervals and plots, and the
// wall-clock time for records people read. Every event of one read of the board carries the time of that read.
struct EventStamp {
    qint64 monoMs = 0; // the session's monotonic clock, milliseconds
    qint64 wallMs = 0; // milliseconds since 1970-01-01T00:00:00Z
};

// One thing a board session did or saw. Events reach every subscriber in the order they happen, on the session's
// thread. `text` points into the session's own data and is valid only while the event is delivered: a subscriber
// that keeps it copies it.
struct SessionEvent {
    enum class Kind : std::uint8_t {
        Selected,     // a board was chosen; text: its serial number (possibly empty)
        OpenFailed,   // the chosen board could not be opened; text: serial number, detail: the driver's reason
        Lost,         // the open board went away; text: its serial number
        Back,         // a lost board is open again; text: its serial number
        Closed,       // the board was closed for good (the program or the run ends)
        CommandSent,  // text: the command as handed to the transmitter, terminator included; flag: the write worked;
                      // a poll's own requests: index: the poll's period in ms, value: the channels, a bit each
        LineReceived, // text: a report line; flag: consumed (shown, not logged); report: what it says
        Reading,      // index: channel, value: the reading as the board sent it
        PinLevel,     // index: an input pin, value: 1 high, 0 low
        AnalogPoll,   // a poll's analog phase: the channels not ticked are blanked
        LogLine,      // text: one line for the communications log
        StatusText,   // text: the status line
        SetupChanged, // index: the pin or channel whose setup changed, 0 for all; value: a SetupAspect
        Gap,          // readings stopped coming; index: the channel, 0 for all; value: a GapReason; text: the
                      // reason in words; detail: what it says more (the client whose polling ended)
        AlarmRaised,  // an alarm rule's condition held long enough; text: the alarm's name; detail: what was
                      // seen; index: its channel, or its pin when flag is set; value: its AlarmSeverity
        AlarmAcknowledged, // the operator acknowledged a raised alarm; fields as AlarmRaised
        AlarmCleared,      // an alarm ended (its condition gone, and acknowledged when latched); fields as AlarmRaised
        BytesReceived,     // one read's bytes, before its lines are handled; bytes: them; text: the line they continue;
                           // index: the ticked channels, value: the output pins, a bit each (what decides how each
                           // line is taken: see meaningOf). A subscriber that keeps what a read brought takes this,
                           // not each of its events.
    };

    Kind kind = Kind::LogLine;
    EventStamp stamp;
    const BoardSession *source = nullptr;
    int index = 0;
    std::int32_t value = 0;
    bool flag = false;
    QStringView text;
    const QString *textString = nullptr; // the same text, when it is a QString: kept by sharing it, not copying
    QStringView detail;
    const Report *report = nullptr; // LineReceived only
    QByteArrayView bytes;           // BytesReceived only
};

// A set of event kinds, for subscribers that want only some.
using EventKinds = std::uint32_t;
inline constexpr EventKinds kEveryKind = ~EventKinds(0);
constexpr EventKinds eventKinds(std::initializer_list<SessionEvent::Kind> kinds)
{
    EventKinds set = 0;
    for (const SessionEvent::Kind kind : kinds)
        set |= EventKinds(1) << unsigned(kind);
    return set;
}
constexpr bool contains(EventKinds set, SessionEvent::Kind kind)
{
    return (set >> unsigned(kind)) & 1u;
}

// What a SetupChanged event says changed.
enum class SetupAspect : std::int32_t { Direction, Level, Monitoring, Tick, AnalogRequests };

// Why readings stopped coming (a Gap event), as far as the session knows.
enum class GapReason : std::int32_t {
    NoBoard,         // none chosen, a failed open, another board chosen, or the board closed
    BoardLost,       // the board went away
    RequestsOff,     // analog requests are off
    NoChannel,       // no channel is ticked
    ChannelUnticked, // this channel was unticked; the others go on
    PollingStopped,  // the last poll lease ended: nothing polls the board
    PollStalled,     // a poll came late by more than BoardSession::kStallMs
};
