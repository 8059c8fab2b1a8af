#pragma once

#include "recording_driver.h"
#include "recording_front_end.h"
#include "session/board_session.h"
#include "state/app_state.h"

// A board session on the recording driver and front end, with application state of its own.
struct SessionRig {
    explicit SessionRig(const QStringList &serials = {QStringLiteral("A1B2")})
    {
        driver.serials = serials;
    }

    // Scans and selects the board at `position`, then forgets what that took.
    void selectAndForget(int position = 0)
    {
        session.scanDevices();
        session.selectDevice(position);
        driver.clearCalls();
        frontEnd.clear();
    }

    void poll(const QByteArray &bytes = {})
    {
        if (!bytes.isEmpty())
            driver.queue(bytes);
        session.poll();
    }

    // Polls once, `ms` milliseconds after the last.
    void pollAfter(qint64 ms)
    {
        now += ms;
        session.poll();
    }

    qint64 now = 0; // the session's clock, in milliseconds
    AppState state;
    RecordingDriver driver;
    RecordingFrontEnd frontEnd;
    BoardSession session{driver, frontEnd, state, [this] { return now; }};
};
