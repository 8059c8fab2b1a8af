#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

// What a driver that plays a recording back (the replay driver) tells the session besides the bytes: the time of
// the recording it has played up to, and what the recording says happened between the bytes. A live driver has
// none (Driver::playedFeed() is null), and a session on one works as it always has.
//
// The bytes of one recorded read are queued at once (getStatus counts only them), so that each read the session
// makes is one recorded read, stamped with its recorded time.
class PlayedFeed
{
public:
    virtual ~PlayedFeed() = default;

    // The recorded moment played last (what was read last, or the loss, return or gap played last): every event
    // the session makes is stamped with it.
    struct Moment {
        qint64 monoMs = 0;
        qint64 wallMs = 0;
    };
    virtual Moment playedMoment() const = 0;

    // Something the recording says happened, with no bytes: taken by the session when nothing is queued.
    struct Happening {
        enum class Kind : std::uint8_t {
            Gap,     // readings stopped: channel (0 for all), reason (a GapReason), detail
            Poll,    // the poll asked for these channels from now on: channels (a bit each), periodMs
            Command, // a command was sent to the board: text (what it received)
        };
        Kind kind = Kind::Gap;
        int channel = 0;
        std::int32_t reason = 0;
        QString detail;
        std::int32_t channels = 0;
        int periodMs = 0;
        QString text;
    };
    // The next happening of the board behind `handle` (a handle of a lost board too), played now; false when the
    // next thing is bytes, or not due yet.
    virtual bool takeHappening(std::intptr_t handle, Happening &happening) = 0;

    // Why nothing is written to the board, in a few words for "Not sent : ...".
    virtual QString refusal() const = 0;
};
