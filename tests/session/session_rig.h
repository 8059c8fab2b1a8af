#pragma once

#include "event_recorder.h"
#include "recording_driver.h"
#include "session/board_session.h"

#include <QList>

// A board session on the recording driver, with what it tells recorded and a clock of its own.
struct SessionRig {
    explicit SessionRig(const QStringList &serials = {QStringLiteral("A1B2")}) { driver.serials = serials; }

    // Scans and selects the board at `position`, then forgets what that took.
    void selectAndForget(int position = 0)
    {
        session.scanDevices();
        session.selectDevice(position);
        forget();
    }

    void forget()
    {
        driver.clearCalls();
        seen.clear();
    }

    // Analog requests on (or off) with exactly these channels ticked.
    void tick(bool requestsOn, const QList<int> &channels)
    {
        session.forgetTickedChannels();
        for (int channel : channels)
            session.setChannelTicked(channel, true);
        session.setAnalogRequestsOn(requestsOn);
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
    RecordingDriver driver;
    BoardSession session{driver, [this] { return now; },
                         [this] {
                             return 1'700'000'000'000 + now;
                         }};
    EventRecorder seen{session};
};
