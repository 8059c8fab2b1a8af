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

EventStream::Subscription EventStream::subscribe(Handler handler)
{
    Subscription subscription;
    subscription.m_id = m_state->nextId++;
    subscription.m_state = std::static_pointer_cast<void>(m_state);
    m_state->entries.push_back({subscription.m_id, std::move(handler)});
    return subscription;
}

void EventStream::unsubscribe(State &state, quint64 id)
{
    const auto found =
        std::find_if(state.entries.begin(), state.entries.end(), [id](const Entry &entry) { return entry.id == id; });
    if (found == state.entries.end())
        return;
    if (state.delivering) {
        // Taken out once the delivery under way is over; until then it gets nothing more.
        found->handler = nullptr;
        state.removed = true;
    } else {
        state.entries.erase(found);
    }
}

qsizetype EventStream::subscriberCount() const
{
    return qsizetype(std::count_if(m_state->entries.begin(), m_state->entries.end(),
                                   [](const Entry &entry) { return bool(entry.handler); }));
}

void EventStream::publish(const SessionEvent &event)
{
    State &state = *m_state;
    if (state.delivering) {
        Queued &queued = state.queued.emplace_back(Queued{event, event.text.toString(), event.detail.toString()});
        queued.event.report = nullptr; // points into a line that is gone by then
        return;
    }
    // The stream may be destroyed by a subscriber (a window closing the program); the state outlives it.
    const std::shared_ptr<State> keep = m_state;
    state.delivering = true;
    deliver(state, event);
    while (!state.queued.empty()) {
        Queued next = std::move(state.queued.front());
        state.queued.pop_front();
        next.event.text = next.text;
        next.event.textString = &next.text;
        next.event.detail = next.detail;
        deliver(state, next.event);
    }
    state.delivering = false;
    if (state.removed) {
        std::erase_if(state.entries, [](const Entry &entry) { return !entry.handler; });
        state.removed = false;
    }
}

void EventStream::deliver(State &state, const SessionEvent &event)
{
    // By index: a subscriber may subscribe others while it handles the event.
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        if (state.entries[i].handler)
            state.entries[i].handler(event);
    }
}
