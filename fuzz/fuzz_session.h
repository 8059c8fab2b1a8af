#pragma once

#include "recording_driver.h"
#include "recording_front_end.h"
#include "session/board_session.h"

// One board session on the recording driver and front end for all the inputs of a fuzzer; no window, no
// display. The front end keeps only the last lines it was given, so memory stays flat over a long run.
struct FuzzSession {
    struct FrontEnd : RecordingFrontEnd {
        void logLine(const QString &text) override
        {
            if (log.size() > 64)
                log.clear();
            RecordingFrontEnd::logLine(text);
        }
        void lineReceived(const QString &, const Report &, bool) override {}
        void showPinLevel(int pin, bool high) override { pinLevels.at(pin) = high; }
        void showReading(int channel, std::int32_t value) override { readings.at(channel) = value; }
        void blankReading(int channel) override { readings.at(channel).reset(); }
    };

    AppState state;
    RecordingDriver driver;
    FrontEnd frontEnd;
    BoardSession session{driver, frontEnd, state};
};

inline FuzzSession &fuzzSession()
{
    static FuzzSession *session = new FuzzSession;
    return *session;
}
