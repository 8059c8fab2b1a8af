#include "network/audit.h"

#include "records/safe_text.h"

#include <utility>

Audit::Audit(Say say, QObject *parent)
    : QObject(parent)
    , m_say(std::move(say))
{
    m_second.setInterval(kIntervalMs);
    connect(&m_second, &QTimer::timeout, this, &Audit::flush);
}

Audit::~Audit()
{
    flush();
}

void Audit::say(const QString &line)
{
    m_say(escapedControls(line));
}

void Audit::refused(const QString &what, const QString &line)
{
    ++m_refusals;
    const auto held = m_held.find(what);
    if (held != m_held.end()) {
        ++held->second; // this second's line of the kind was said
        return;
    }
    m_held.emplace(what, 0);
    say(line);
    if (!m_second.isActive())
        m_second.start();
}

void Audit::flush()
{
    for (const auto &[what, count] : m_held) {
        if (count > 0)
            say(QStringLiteral("refused %1 more %2 in the last second").arg(count).arg(what));
    }
    // A kind with nothing held is free again: its next refusal is said at once.
    m_held.clear();
    m_second.stop();
}
