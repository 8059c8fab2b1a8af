#pragma once

#include "session/session_event.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Hands each event to every subscriber, in the order the events are published and the subscribers subscribed.
// A subscriber added while an event is being handed out gets that event too (a window created to show an event
// then shows it). An event published while another is being handed out waits until that one has reached every
// subscriber, so every subscriber sees the same order.
class EventStream
{
public:
    using Handler = std::function<void(const SessionEvent &)>;

    // Keeps a handler subscribed while it lives; safe to destroy after the stream.
    class Subscription
    {
    public:
        Subscription() = default;
        Subscription(Subscription &&other) noexcept;
        Subscription &operator=(Subscription &&other) noexcept;
        Subscription(const Subscription &) = delete;
        Subscription &operator=(const Subscription &) = delete;
        ~Subscription() { reset(); }

        void reset();
        bool isActive() const { return !m_state.expired() && m_id != 0; }

    private:
        friend class EventStream;
        std::weak_ptr<void> m_state;
        quint64 m_id = 0;
    };

    EventStream();
    ~EventStream();
    EventStream(const EventStream &) = delete;
    EventStream &operator=(const EventStream &) = delete;

    [[nodiscard]] Subscription subscribe(Handler handler);
    void publish(const SessionEvent &event);
    qsizetype subscriberCount() const;

private:
    struct Entry {
        quint64 id = 0;
        Handler handler;
    };
    // An event published during another's delivery, with its own copy of what it points to.
    struct Queued {
        SessionEvent event;
        QString text;
        QString detail;
    };
    struct State {
        std::deque<Entry> entries; // a deque: subscribing during a delivery moves no handler that is running
        quint64 nextId = 1;
        bool delivering = false;
        bool removed = false;
        std::deque<Queued> queued;
    };

    static void deliver(State &state, const SessionEvent &event);
    static void unsubscribe(State &state, quint64 id);

    std::shared_ptr<State> m_state;
};
