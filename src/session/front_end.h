#pragma once

#include <QString>

#include <cstdint>

struct Report;

// What a board session shows, and the few things it asks, of whoever drives it: the windows, the headless
// runner, a test. Every call is made on the session's thread, in the order the events happen.
class SessionFrontEnd
{
public:
    virtual ~SessionFrontEnd() = default;

    // One line for the communications log; the front end adds the line end.
    virtual void logLine(const QString &text) = 0;
    // The text of the status line (the first panel of the main window's status bar).
    virtual void setStatusText(const QString &text) = 0;

    // An input pin's reported level (never called for a pin that is an output).
    virtual void showPinLevel(int pin, bool high) = 0;
    // An analog reading as the board sent it; it may lie outside 0..255.
    virtual void showReading(int channel, std::int32_t value) = 0;
    // Empties a channel's meter and value.
    virtual void blankReading(int channel) = 0;

    // Whether analog requests go out on each poll (the analog window is shown through its View item).
    virtual bool analogRequestsOn() = 0;
    // Whether a channel's monitoring box is ticked: it is requested on each poll, and its readings are shown
    // rather than logged.
    virtual bool isChannelTicked(int channel) = 0;
    // Whether a pin's monitoring box is ticked (its reports are switched on at the board).
    virtual bool isPinMonitored(int pin) = 0;

    // Every report line the interpreter handled, with what it says, once it has been shown and before it is
    // logged; `consumed` when it is not logged (a reading for a ticked channel). For front ends that treat lines
    // apart from the log; the log gets the unconsumed ones through logLine() as well.
    virtual void lineReceived(const QString &line, const Report &report, bool consumed)
    {
        Q_UNUSED(line);
        Q_UNUSED(report);
        Q_UNUSED(consumed);
    }
};
