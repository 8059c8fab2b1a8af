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

    AppState state;
    RecordingDriver driver;
    RecordingFrontEnd frontEnd;
    BoardSession session{driver, frontEnd, state};
};
