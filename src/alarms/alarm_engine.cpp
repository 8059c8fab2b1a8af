#include "alarms/alarm_engine.h"

#include <algorithm>
#include <limits>

void AlarmEngine::setRules(std::vector<AlarmRule> rules)
{
    std::vector<Alarm> old = std::move(m_alarms);
    m_alarms.clear();
    for (ChannelRules &channel : m_byChannel)
        channel = ChannelRules{{}, -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    for (auto &list : m_byPin)
        list.clear();
    m_activeCount = 0;
    m_waitingCount = 0;
    for (AlarmRule &rule : rules) {
        if (ruleProblem(rule))
            continue; // a rule that cannot be judged never reaches here from a file or the dialog
        const int index = int(m_alarms.size());
        if (rule.isPinRule())
            m_byPin[std::size_t(rule.pin)].push_back(index);
        else {
            ChannelRules &channel = m_byChannel[std::size_t(rule.channel)];
            channel.rules.push_back(index);
            channel.quietLow = std::max(channel.quietLow, rule.below.value_or(channel.quietLow));
            channel.quietHigh = std::min(channel.quietHigh, rule.above.value_or(channel.quietHigh));
        }
        // A rule kept as it was keeps its alarm's state: a change elsewhere never clears it.
        const auto same = std::find_if(old.begin(), old.end(), [&](const Alarm &kept) { return kept.rule == rule; });
        if (same != old.end()) {
            m_alarms.push_back(std::move(*same));
            old.erase(same);
        } else {
            m_alarms.push_back(Alarm{std::move(rule)});
        }
        const Alarm &alarm = m_alarms.back();
        m_activeCount += alarm.active ? 1 : 0;
        m_waitingCount += alarm.sinceMs >= 0 && !alarm.active ? 1 : 0;
    }
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
        noteBusy(channel);
}

void AlarmEngine::take(const SessionEvent &event, EventStream &stream)
{
    switch (event.kind) {
    case SessionEvent::Kind::Reading: {
        if (event.index < kFirstChannel || event.index > kLastChannel)
            return;
        ChannelRules &channel = m_byChannel[std::size_t(event.index)];
        if (channel.rules.empty())
            break;
        const double value = m_calibration.channel(event.index).value(event.value);
        if (!channel.busy && value >= channel.quietLow && value <= channel.quietHigh)
            break;
        for (const int index : channel.rules) {
            Alarm &alarm = m_alarms[std::size_t(index)];
            const bool outside =
                (alarm.rule.below && value < *alarm.rule.below) || (alarm.rule.above && value > *alarm.rule.above);
            judge(alarm, outside, value, event, stream);
        }
        noteBusy(event.index);
        break;
    }
    case SessionEvent::Kind::PinLevel:
        if (event.index < kFirstPin || event.index > kLastPin)
            return;
        for (const int index : m_byPin[std::size_t(event.index)]) {
            Alarm &alarm = m_alarms[std::size_t(index)];
            judge(alarm, (event.value != 0) == alarm.rule.level, event.value, event, stream);
        }
        break;
    case SessionEvent::Kind::Gap:
        restart(event.index);
        return;
    case SessionEvent::Kind::Lost:
    case SessionEvent::Kind::Closed:
    case SessionEvent::Kind::Selected:
        restart(0);
        return;
    default:
        break;
    }
    if (m_waitingCount > 0)
        judgeWaiting(event, stream);
}

void AlarmEngine::judge(Alarm &alarm, bool condition, double value, const SessionEvent &event, EventStream &stream)
{
    alarm.lastValue = value;
    if (!condition) {
        if (alarm.sinceMs >= 0 && !alarm.active)
            --m_waitingCount;
        alarm.sinceMs = -1;
        if (alarm.active && (!alarm.rule.latched || alarm.acknowledged))
            tell(alarm, SessionEvent::Kind::AlarmCleared, clearedDetail(alarm), event.stamp, event.source, &stream);
        return;
    }
    if (alarm.sinceMs < 0) {
        alarm.sinceMs = event.stamp.monoMs;
        if (!alarm.active)
            ++m_waitingCount;
    }
    if (!alarm.active && event.stamp.monoMs - alarm.sinceMs >= alarm.rule.forMs) {
        --m_waitingCount;
        tell(alarm, SessionEvent::Kind::AlarmRaised, raisedDetail(alarm), event.stamp, event.source, &stream);
    }
}

void AlarmEngine::judgeWaiting(const SessionEvent &event, EventStream &stream)
{
    for (Alarm &alarm : m_alarms) {
        if (alarm.sinceMs >= 0 && !alarm.active && event.stamp.monoMs - alarm.sinceMs >= alarm.rule.forMs) {
            --m_waitingCount;
            tell(alarm, SessionEvent::Kind::AlarmRaised, raisedDetail(alarm), event.stamp, event.source, &stream);
        }
    }
}

void AlarmEngine::noteBusy(int channel)
{
    ChannelRules &rules = m_byChannel[std::size_t(channel)];
    rules.busy = std::any_of(rules.rules.begin(), rules.rules.end(), [this](int index) {
        const Alarm &alarm = m_alarms[std::size_t(index)];
        return alarm.sinceMs >= 0 || alarm.active;
    });
}

void AlarmEngine::restart(int channel)
{
    // A channel's gap restarts its own rules; a gap of all (or a lost board) every rule.
    for (Alarm &alarm : m_alarms) {
        if (channel != 0 && alarm.rule.channel != channel)
            continue;
        if (alarm.sinceMs >= 0 && !alarm.active)
            --m_waitingCount;
        alarm.sinceMs = -1;
    }
    for (int each = kFirstChannel; each <= kLastChannel; ++each)
        noteBusy(each);
}

bool AlarmEngine::acknowledge(const QString &name, const EventStamp &stamp, const BoardSession *source,
                              EventStream *stream)
{
    for (Alarm &alarm : m_alarms) {
        if (alarm.rule.name != name || !alarm.active || alarm.acknowledged)
            continue;
        alarm.acknowledged = true;
        tell(alarm, SessionEvent::Kind::AlarmAcknowledged, QStringLiteral("acknowledged"), stamp, source, stream);
        if (alarm.sinceMs < 0)
            tell(alarm, SessionEvent::Kind::AlarmCleared, clearedDetail(alarm), stamp, source, stream);
        return true;
    }
    return false;
}

void AlarmEngine::clearChanged(const std::vector<AlarmRule> &rules, const QString &why, const EventStamp &stamp,
                               const BoardSession *source, EventStream *stream)
{
    for (Alarm &alarm : m_alarms) {
        if (alarm.active && std::find(rules.begin(), rules.end(), alarm.rule) == rules.end())
            tell(alarm, SessionEvent::Kind::AlarmCleared, why, stamp, source, stream);
    }
}

int AlarmEngine::acknowledgeAll(const EventStamp &stamp, const BoardSession *source, EventStream *stream)
{
    int count = 0;
    for (const Alarm &alarm : std::vector<Alarm>(m_alarms)) {
        if (alarm.active && !alarm.acknowledged && acknowledge(alarm.rule.name, stamp, source, stream))
            ++count;
    }
    return count;
}

void AlarmEngine::tell(Alarm &alarm, SessionEvent::Kind kind, const QString &detail, const EventStamp &stamp,
                       const BoardSession *source, EventStream *stream)
{
    if (kind == SessionEvent::Kind::AlarmRaised) {
        alarm.active = true;
        alarm.acknowledged = false;
        alarm.raisedWallMs = stamp.wallMs;
        ++m_activeCount;
    } else if (kind == SessionEvent::Kind::AlarmCleared) {
        alarm.active = false;
        alarm.acknowledged = false;
        --m_activeCount;
    }
    if (!alarm.rule.isPinRule())
        noteBusy(alarm.rule.channel);
    if (m_history.size() == kHistory)
        m_history.pop_front();
    m_history.push_back({stamp, kind, alarm.rule.name, alarm.rule.severity, detail});
    if (!stream)
        return;
    SessionEvent told;
    told.kind = kind;
    told.stamp = stamp;
    told.source = source;
    told.index = alarm.rule.isPinRule() ? alarm.rule.pin : alarm.rule.channel;
    told.flag = alarm.rule.isPinRule();
    told.value = std::int32_t(alarm.rule.severity);
    told.text = alarm.rule.name;
    told.textString = &alarm.rule.name;
    told.detail = detail;
    stream->publish(told);
}

QString AlarmEngine::raisedDetail(const Alarm &alarm) const
{
    const AlarmRule &rule = alarm.rule;
    if (rule.isPinRule())
        return QStringLiteral("pin %1 %2 for %3 ms").arg(rule.pin).arg(rule.level ? "high" : "low").arg(rule.forMs);
    const ChannelCalibration &calibration = m_calibration.channel(rule.channel);
    const QString what = calibration.name.isEmpty() ? QStringLiteral("channel %1").arg(rule.channel) : calibration.name;
    const bool low = rule.below && alarm.lastValue < *rule.below;
    return QStringLiteral("%1 %2 %3 %4 for %5 ms")
        .arg(what, calibration.valueText(alarm.lastValue), low ? QStringLiteral("below") : QStringLiteral("above"),
             calibration.valueText(low ? *rule.below : *rule.above))
        .arg(rule.forMs);
}

QString AlarmEngine::clearedDetail(const Alarm &alarm) const
{
    const AlarmRule &rule = alarm.rule;
    if (rule.isPinRule())
        return QStringLiteral("pin %1 %2").arg(rule.pin).arg(alarm.lastValue != 0 ? "high" : "low");
    const ChannelCalibration &calibration = m_calibration.channel(rule.channel);
    const QString what = calibration.name.isEmpty() ? QStringLiteral("channel %1").arg(rule.channel) : calibration.name;
    return QStringLiteral("%1 %2").arg(what, calibration.valueText(alarm.lastValue));
}
