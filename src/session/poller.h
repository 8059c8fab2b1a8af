#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>
#include <vector>

class BoardSession;
class Poller;

// Keeps a session polling while it lives (BoardSession::wantPolling). Dropping it ends only this client's
// claim; the session polls on for the others. Move-only; safe to destroy after the session.
class PollLease
{
public:
    PollLease() = default;
    PollLease(PollLease &&other) noexcept;
    PollLease &operator=(PollLease &&other) noexcept;
    PollLease(const PollLease &) = delete;
    PollLease &operator=(const PollLease &) = delete;
    ~PollLease() { reset(); }

    void reset();
    bool isActive() const { return !m_leases.expired() && m_id != 0; }

private:
    friend class Poller;
    std::weak_ptr<void> m_leases;
    quint64 m_id = 0;
};

// The receive poll's clock: it calls the session's poll() from the event loop of the thread that made it, while
// any lease lives, every `interval()` milliseconds: the shortest interval any lease asked for. Nobody starts or
// stops it; clients hold leases.
class Poller : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDefaultInterval{100};
    static constexpr int kDefaultIntervalMs = int(kDefaultInterval.count());

    explicit Poller(BoardSession &session, QObject *parent = nullptr);
    ~Poller() override;

    // Polling at least every `interval` (at least 1 ms) until the lease goes; `why` names the client.
    [[nodiscard]] PollLease lease(std::chrono::milliseconds interval, const QString &why);

    bool isActive() const { return m_timer.isActive(); }
    int interval() const { return m_timer.interval(); }
    // The clients holding a lease now, in the order they took it.
    QStringList holders() const;

    // One poll now, as a tick does; with or without leases.
    void pollNow();
    // How long the last poll took, in nanoseconds (what the window did not answer for).
    qint64 lastPollNs() const { return m_lastPollNs; }

Q_SIGNALS:
    // After each poll (a tick or pollNow()), once the session has handed out its events.
    void polled();

private:
    friend class PollLease;
    struct Lease {
        quint64 id = 0;
        int intervalMs = kDefaultIntervalMs;
        QString why;
    };
    struct Leases {
        std::vector<Lease> held;
        quint64 nextId = 1;
        Poller *poller = nullptr;
    };
    static void release(Leases &leases, quint64 id);
    // Runs the timer as the leases held now ask; `released` names the last lease dropped, if one was.
    void follow(const QString &released = QString());

    BoardSession &m_session;
    QTimer m_timer;
    std::shared_ptr<Leases> m_leases;
    qint64 m_lastPollNs = 0;
};
