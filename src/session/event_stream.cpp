#include "session/event_stream.h"

#include <algorithm>

EventStream::EventStream()
    : m_state(std::make_shared<State>())
{}

EventStream::~EventStream() = default;

EventStream::Subscription::Subscription(Subscription &&other) noexcept
    : m_state(std::move(other.m_state))
    , m_id(std::exchange(other.m_id, 0))
{}

EventStream::Subscription &EventStream::Subscription::operator=(Subscription &&other) noexcept
{
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void EventStream::Subscription::reset()
{
    if (const std::shared_ptr<void> state = m_state.lock(); state && m_id != 0)
        EventStream::unsubscribe(*static_cast<EventStream::State *>(state.get()), m_id);
    m_state.reset();
    m_id = 0;
}

EventStream::Subscription EventStream::subscribe(Handler handler, EventKinds kinds)
{
    State &state = *m_state;
    Subscription subscription;
    subscription.m_id = state.nextId++;
    subscription.m_state = std::static_pointer_cast<void>(m_state);
    Entry *entry =
        state.entries.emplace_back(std::make_unique<Entry>(Entry{subscription.m_id, std::move(handler), kinds, true}))
            .get();
    // Appended: a delivery under way reaches it too.
    for (std::size_t kind = 0; kind < kKinds; ++kind) {
        if (contains(kinds, SessionEvent::Kind(kind)))
            state.takers[kind].push_back(entry);
    }
    state.wanted |= kinds;
    return subscription;
}

void EventStream::unsubscribe(State &state, quint64 id)
{
    const auto found = std::find_if(state.entries.begin(), state.entries.end(),
                                    [id](const std::unique_ptr<Entry> &entry) { return entry->id == id; });
    if (found == state.entries.end())
        return;
    // It gets nothing more; it goes once no delivery is under way (its handler may be the one running).
    (*found)->active = false;
    state.removed = true;
    if (!state.delivering)
        compact(state);
}

void EventStream::compact(State &state)
{
    std::erase_if(state.entries, [](const std::unique_ptr<Entry> &entry) { return !entry->active; });
    state.wanted = 0;
    for (std::vector<Entry *> &takers : state.takers)
        takers.clear();
    for (const std::unique_ptr<Entry> &entry : state.entries) {
        state.wanted |= entry->kinds;
        for (std::size_t kind = 0; kind < kKinds; ++kind) {
            if (contains(entry->kinds, SessionEvent::Kind(kind)))
                state.takers[kind].push_back(entry.get());
        }
    }
    state.removed = false;
}

qsizetype EventStream::subscriberCount() const
{
    return qsizetype(std::count_if(m_state->entries.begin(), m_state->entries.end(),
                                   [](const std::unique_ptr<Entry> &entry) { return entry->active; }));
}

void EventStream::deliverToTakers(const SessionEvent &event)
{
    State &state = *m_state;
    if (state.delivering) {
        Queued &queued = state.queued.emplace_back(Queued{event, event.text.toString(), event.detail.toString()});
        queued.event.report = nullptr; // points into a line that is gone by then
        return;
    }
    state.delivering = true;
    deliver(state, event);
    if (!state.queued.empty())
        deliverQueued(state);
    state.delivering = false;
    if (state.removed)
        compact(state);
}

void EventStream::deliverQueued(State &state)
{
    while (!state.queued.empty()) {
        Queued next = std::move(state.queued.front());
        state.queued.pop_front();
        next.event.text = next.text;
        next.event.textString = &next.text;
        next.event.detail = next.detail;
        deliver(state, next.event);
    }
}

void EventStream::deliver(State &state, const SessionEvent &event)
{
    const std::vector<Entry *> &takers = state.takers[std::size_t(event.kind)];
    // By index: a subscriber may subscribe others while it handles the event.
    for (std::size_t i = 0; i < takers.size(); ++i) {
        const Entry &entry = *takers[i];
        if (entry.active)
            entry.handler(event);
    }
}
