#pragma once

#include "recording_driver.h"
#include "session/board_session.h"

// One board session on the recording driver, with a board selected, for all the inputs of a fuzzer; no window,
// no display. Its one subscriber keeps only the last lines logged, so memory stays flat over a long run.
struct FuzzSession {
    FuzzSession()
    {
        driver.serials = {QStringLiteral("FUZZ")};
        session.selectDevice(0);
    }

    RecordingDriver driver;
    BoardSession session{driver};
    QStringList log;
    EventStream::Subscription subscription = session.events().subscribe([this](const SessionEvent &event) {
        if (event.kind != SessionEvent::Kind::LogLine)
            return;
        if (log.size() > 64)
            log.clear();
        log.append(event.text.toString());
    });
};

inline FuzzSession &fuzzSession()
{
    static FuzzSession *session = new FuzzSession;
    return *session;
}
