#pragma once

#include "session/session_event.h"

#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Hands each event to every subscriber, in the order the events are published and the subscribers subscribed.
// A subscriber added while an event is being handed out gets that event too (a window created to show an event
// then shows it). An event published while another is being handed out waits until that one has reached every
// subscriber, so every subscriber sees the same order. A subscriber may subscribe and unsubscribe anyone while
// it handles an event, but must not destroy the stream's owner then.
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

    // The handler gets the events of the given kinds (all by default).
    [[nodiscard]] Subscription subscribe(Handler handler, EventKinds kinds = kEveryKind);
    void publish(const SessionEvent &event)
    {
        if (contains(m_state->wanted, event.kind))
            deliverToTakers(event);
    }
    qsizetype subscriberCount() const;
    // Whether any subscriber takes events of this kind; an event nobody takes need not be made.
    bool isWanted(SessionEvent::Kind kind) const { return contains(m_state->wanted, kind); }

private:
    struct Entry {
        quint64 id = 0;
        Handler handler;
        EventKinds kinds = kEveryKind;
        bool active = true; // false once unsubscribed; the handler itself goes when no delivery is under way
    };
    // An event published during another's delivery, with its own copy of what it points to.
    struct Queued {
        SessionEvent event;
        QString text;
        QString detail;
    };
    static constexpr std::size_t kKinds = 32;
    struct State {
        // Each entry on its own: subscribing during a delivery moves no handler that is running.
        std::vector<std::unique_ptr<Entry>> entries;
        // Per kind, the entries that take it, in the order they subscribed: an event costs only its takers.
        std::array<std::vector<Entry *>, kKinds> takers;
        quint64 nextId = 1;
        EventKinds wanted = 0; // every kind some active subscriber takes
        bool delivering = false;
        bool removed = false;
        std::deque<Queued> queued;
    };

    void deliverToTakers(const SessionEvent &event);
    static void deliver(State &state, const SessionEvent &event);
    static void deliverQueued(State &state);
    static void unsubscribe(State &state, quint64 id);
    // Drops the entries that were unsubscribed and lists the takers of each kind afresh.
    static void compact(State &state);

    std::shared_ptr<State> m_state;
};
