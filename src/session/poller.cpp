#include "session/poller.h"

#include "session/board_session.h"

#include <algorithm>

Poller::Poller(BoardSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kDefaultIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &Poller::pollNow);
}

void Poller::start()
{
    m_timer.start();
}

void Poller::stop()
{
    m_timer.stop();
}

void Poller::setInterval(int ms)
{
    m_timer.setInterval(std::max(1, ms));
}

void Poller::pollNow()
{
    m_session.poll();
    Q_EMIT polled();
}
