#pragma once

#include "alarms/alarm_rule.h"
#include "records/calibration.h"
#include "session/event_stream.h"
#include "session/session_event.h"

#include <QString>

#include <array>
#include <deque>
#include <vector>

// One board's alarms: its rules watched over its readings and pin levels, each alarm's life (raised, acknowledged,
// cleared) told as events on the stream of the session that holds the board, stamped once there, and the last
// kHistory of them kept for the windows that open later.
//
// A channel rule is judged on each reading of its channel, in the channel's unit; a pin rule on each level of its
// pin. Both are also judged on every poll, so a condition that holds with no new report still raises once its time
// is up. Where readings stop (a gap, a lost board) a condition under way starts over; a raised alarm stays.
class AlarmEngine
{
public:
    struct Alarm {
        AlarmRule rule;
        qint64 sinceMs = -1; // the condition holds since this monotonic time; -1: it does not
        bool active = false; // raised and not cleared
        bool acknowledged = false;
        qint64 raisedWallMs = 0;
        double lastValue = 0; // the last value judged (a pin: its level)
    };

    // One event of an alarm's life, as kept for the history.
    struct Record {
        EventStamp stamp;
        SessionEvent::Kind kind = SessionEvent::Kind::AlarmRaised;
        QString name;
        AlarmSeverity severity = AlarmSeverity::Warning;
        QString detail;
    };
    static constexpr std::size_t kHistory = 1000;

    // The rules judged from now on. A rule kept exactly as it was keeps its alarm (raised, acknowledged, under way);
    // the alarms of the others are forgotten (clearChanged() first tells their end).
    void setRules(std::vector<AlarmRule> rules);
    const std::vector<Alarm> &alarms() const { return m_alarms; }
    void setCalibration(const BoardCalibration &calibration) { m_calibration = calibration; }
    const BoardCalibration &calibration() const { return m_calibration; }

    // Judges a Reading, a PinLevel, an AnalogPoll, a Gap or a Lost event; what happens to an alarm is published on
    // `stream` with the event's stamp and source.
    void take(const SessionEvent &event, EventStream &stream);
    // Acknowledges the alarm of that name (false when none is active by that name); a latched alarm whose condition
    // has gone clears then. Told on `stream` when there is one.
    bool acknowledge(const QString &name, const EventStamp &stamp, const BoardSession *source, EventStream *stream);
    // Clears every active alarm whose rule is not among `rules` (changed or gone), saying why.
    void clearChanged(const std::vector<AlarmRule> &rules, const QString &why, const EventStamp &stamp,
                      const BoardSession *source, EventStream *stream);
    // Every active alarm not yet acknowledged; how many.
    int acknowledgeAll(const EventStamp &stamp, const BoardSession *source, EventStream *stream);

    int activeCount() const { return m_activeCount; }
    const std::deque<Record> &history() const { return m_history; }

private:
    void judge(Alarm &alarm, bool condition, double value, const SessionEvent &event, EventStream &stream);
    void judgeWaiting(const SessionEvent &event, EventStream &stream);
    void restart(int channel);
    void tell(Alarm &alarm, SessionEvent::Kind kind, const QString &detail, const EventStamp &stamp,
              const BoardSession *source, EventStream *stream);
    QString raisedDetail(const Alarm &alarm) const;
    QString clearedDetail(const Alarm &alarm) const;

    std::vector<Alarm> m_alarms;
    // A channel's rules, and the band no limit of theirs excludes: a reading inside it while none of them is under
    // way or active changes nothing, and costs two comparisons.
    struct ChannelRules {
        std::vector<int> rules; // indexes into m_alarms
        double quietLow = 0;
        double quietHigh = 0;
        bool busy = false; // some rule's condition is under way, or its alarm active
    };
    void noteBusy(int channel);
    std::array<ChannelRules, kLastChannel + 1> m_byChannel;
    std::array<std::vector<int>, kLastPin + 1> m_byPin;
    BoardCalibration m_calibration;
    int m_activeCount = 0;
    int m_waitingCount = 0; // conditions under way not raised yet
    std::deque<Record> m_history;
};
