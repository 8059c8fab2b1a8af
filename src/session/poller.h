#pragma once

#include <QObject>
#include <QTimer>

class BoardSession;

// The receive poll's clock: while it runs, it calls the session's poll() every interval() milliseconds (100 by
// default, ten times a second) from the event loop of the thread that made it. The windows start it with the
// communications window and stop it when that window closes; the runner starts it for the length of a run.
class Poller : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultIntervalMs = 100;

    explicit Poller(BoardSession &session, QObject *parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return m_timer.isActive(); }
    int interval() const { return m_timer.interval(); }
    // At least 1 ms.
    void setInterval(int ms);

    // One poll now, as a tick does.
    void pollNow();

Q_SIGNALS:
    // After each poll (a tick or pollNow()), once the session has handed out its events.
    void polled();

private:
    BoardSession &m_session;
    QTimer m_timer;
};
