// Event: the flag decides; the wait list wakes the threads that wait for it.
#include "Event.h"

namespace Ostrel::Platform
{

void Event::Set()
{
    // An exchange even when already set: it publishes what the setter wrote before, such as a
    // transfer's result, to the thread that sees the event set.
    if (!m_signalled.exchange(true))
    {
        m_waiters.WakeAll();
    }
}

void Event::Reset() noexcept
{
    // Resetting an event that is not set writes nothing to the shared flag.
    if (m_signalled.load(std::memory_order_relaxed))
    {
        m_signalled.store(false);
    }
}

void Event::Bind(std::weak_ptr<KernelObject> stream, TransferKind kind, const OVERLAPPED* record)
{
    {
        std::lock_guard<std::mutex> lock(m_bindingMutex);
        m_binding = Binding{std::move(stream), kind, record};
    }
    // Waits that began before this transfer look again at what the event is bound to.
    m_waiters.WakeAll();
}

void Event::Unbind(const OVERLAPPED* record)
{
    std::lock_guard<std::mutex> lock(m_bindingMutex);
    if (m_binding.record == record)
    {
        m_binding = Binding{};
    }
}

Event::Binding Event::CurrentBinding() const
{
    std::lock_guard<std::mutex> lock(m_bindingMutex);
    return m_binding;
}

} // namespace Ostrel::Platform
