#include "session/poller.h"

#include "session/board_session.h"

#include <QElapsedTimer>

#include <algorithm>
#include <climits>
#include <utility>

PollLease::PollLease(PollLease &&other) noexcept
    : m_leases(std::move(other.m_leases))
    , m_id(std::exchange(other.m_id, 0))
{}

PollLease &PollLease::operator=(PollLease &&other) noexcept
{
    if (this != &other) {
        reset();
        m_leases = std::move(other.m_leases);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void PollLease::reset()
{
    if (const std::shared_ptr<void> leases = m_leases.lock(); leases && m_id != 0)
        Poller::release(*static_cast<Poller::Leases *>(leases.get()), m_id);
    m_leases.reset();
    m_id = 0;
}

Poller::Poller(BoardSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_leases(std::make_shared<Leases>())
{
    m_leases->poller = this;
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kDefaultIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &Poller::pollNow);
}

Poller::~Poller()
{
    // Leases that outlive the poller find nobody to tell.
    m_leases->poller = nullptr;
}

PollLease Poller::lease(std::chrono::milliseconds interval, const QString &why)
{
    const int ms = int(std::clamp<std::chrono::milliseconds::rep>(interval.count(), 1, INT_MAX));
    PollLease lease;
    lease.m_id = m_leases->nextId++;
    lease.m_leases = std::static_pointer_cast<void>(m_leases);
    m_leases->held.push_back({lease.m_id, ms, why});
    follow();
    return lease;
}

void Poller::release(Leases &leases, quint64 id)
{
    const auto found =
        std::find_if(leases.held.begin(), leases.held.end(), [id](const Lease &lease) { return lease.id == id; });
    if (found == leases.held.end())
        return;
    const QString why = found->why;
    leases.held.erase(found);
    if (leases.poller)
        leases.poller->follow(why);
}

QStringList Poller::holders() const
{
    QStringList whys;
    for (const Lease &lease : m_leases->held)
        whys.append(lease.why);
    return whys;
}

void Poller::follow(const QString &released)
{
    const std::vector<Lease> &held = m_leases->held;
    if (held.empty()) {
        if (m_timer.isActive()) {
            m_timer.stop();
            m_session.pollingChanged(released);
        }
        return;
    }
    const int shortest = std::min_element(held.begin(), held.end(), [](const Lease &a, const Lease &b) {
                             return a.intervalMs < b.intervalMs;
                         })->intervalMs;
    // Restarting an active timer would put its next tick off: only a change of interval does so.
    if (m_timer.interval() != shortest)
        m_timer.setInterval(shortest);
    if (!m_timer.isActive()) {
        m_timer.start();
        m_session.pollingChanged(QString());
    }
}

void Poller::pollNow()
{
    QElapsedTimer took;
    took.start();
    m_session.poll();
    m_lastPollNs = took.nsecsElapsed();
    Q_EMIT polled();
}
