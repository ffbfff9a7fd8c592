// Event: the state word decides; the eventfd mirrors a signal for the threads that poll it.
#include "Event.h"

#include "LastError.h"

#include <cerrno>
#include <sys/eventfd.h>

namespace Ostrel::Platform
{

std::shared_ptr<Event> Event::Create(bool signalled)
{
    FileDescriptor fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd.IsOpen())
    {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    return std::make_shared<Event>(std::move(fd), signalled);
}

Event::Event(FileDescriptor fd, bool signalled) : m_fd(std::move(fd)), m_state(signalled ? kSignalled : 0) {}

void Event::Set()
{
    const std::uint32_t before = m_state.fetch_or(kSignalled);
    if ((before & kSignalled) != 0 || before < kOneWaiter)
    {
        return;
    }
    // Someone polls: make the descriptor readable, unless a reset came in between.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fdRaised.load() || (m_state.load() & kSignalled) == 0)
    {
        return;
    }
    const std::uint64_t one = 1;
    // Cannot fail: the counter is 0 whenever the descriptor is lowered.
    [[maybe_unused]] const ssize_t written = ::write(m_fd.Get(), &one, sizeof one);
    m_fdRaised.store(true);
    // A reset that cleared the state after our test may have missed the raised descriptor.
    LowerFdUnlessSignalled();
}

void Event::Reset()
{
    // Resetting an event that is not signalled changes nothing: no write to the shared word.
    if ((m_state.load() & kSignalled) != 0)
    {
        m_state.fetch_and(~kSignalled);
    }
    if (!m_fdRaised.load())
    {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    LowerFdUnlessSignalled();
}

void Event::LowerFdUnlessSignalled()
{
    if (!m_fdRaised.load() || (m_state.load() & kSignalled) != 0)
    {
        return;
    }
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(m_fd.Get(), &count, sizeof count);
    m_fdRaised.store(false);
}

bool Event::IsSignalled() const noexcept
{
    return (m_state.load(std::memory_order_acquire) & kSignalled) != 0;
}

bool Event::BeginWait()
{
    std::uint32_t state = m_state.load(std::memory_order_acquire);
    do
    {
        if ((state & kSignalled) != 0)
        {
            return true;
        }
    } while (!m_state.compare_exchange_weak(state, state + kOneWaiter, std::memory_order_acq_rel));
    return false;
}

void Event::EndWait()
{
    m_state.fetch_sub(kOneWaiter, std::memory_order_acq_rel);
}

void Event::Bind(std::weak_ptr<Stream> stream, OVERLAPPED* record)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_binding.stream = std::move(stream);
    m_binding.record = record;
}

void Event::Unbind(const OVERLAPPED* record)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_binding.record == record)
    {
        m_binding = Binding{};
    }
}

Event::Binding Event::CurrentBinding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_binding;
}

} // namespace Ostrel::Platform
