#pragma once

#include "alarms/alarm_engine.h"
#include "host/board_recording.h"
#include "records/trend_history.h"

#include <QString>

// What is kept of one board, whichever session holds it: its readings over time, its recording, its alarms (with its
// calibration), and when it last gave a reading.
struct HostedBoard {
    explicit HostedBoard(QString serialNumber)
        : serial(std::move(serialNumber))
    {}

    const QString serial;
    TrendHistory trend;
    BoardRecording recording;
    AlarmEngine alarms;
    qint64 lastReadingWallMs = -1; // none yet
};
