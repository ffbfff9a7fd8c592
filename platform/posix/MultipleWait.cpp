// MultipleWait: the poll loop behind WaitForMultipleObjects.
#include "MultipleWait.h"

namespace Ostrel::Platform
{

MultipleWait::MultipleWait(const std::shared_ptr<Event>* events, DWORD count)
    : m_events(events), m_count(count)
{
}

DWORD MultipleWait::Run(DWORD milliseconds)
{
    const bool infinite = milliseconds == INFINITE;
    const Clock::time_point deadline =
        infinite ? Clock::time_point{} : Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;)
    {
        if (!Register())
        {
            // Signalled already, unless another thread has reset it since: then wait again.
            const int signalled = FirstSignalled();
            if (signalled >= 0)
            {
                return WAIT_OBJECT_0 + static_cast<DWORD>(signalled);
            }
            continue;
        }
        WatchTransfers();
        const int ready =
            ::poll(m_watches.data(), m_count + m_streams.Size(), RemainingMilliseconds(infinite, deadline));
        Unregister();
        // The waiter is no longer registered, so an event set here costs no system call.
        AdvanceReadyTransfers(ready > 0);
        const int signalled = FirstSignalled();
        if (signalled >= 0)
        {
            return WAIT_OBJECT_0 + static_cast<DWORD>(signalled);
        }
        if (!infinite && Clock::now() >= deadline)
        {
            return WAIT_TIMEOUT;
        }
    }
}

int MultipleWait::FirstSignalled() const
{
    for (DWORD i = 0; i < m_count; ++i)
    {
        if (m_events[i]->IsSignalled())
        {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool MultipleWait::Register()
{
    for (DWORD i = 0; i < m_count; ++i)
    {
        if (m_events[i]->BeginWait())
        {
            for (DWORD j = 0; j < i; ++j)
            {
                m_events[j]->EndWait();
            }
            return false;
        }
        m_watches[i] = pollfd{m_events[i]->Fd(), POLLIN, 0};
    }
    return true;
}

void MultipleWait::Unregister()
{
    for (DWORD i = 0; i < m_count; ++i)
    {
        m_events[i]->EndWait();
    }
}

void MultipleWait::WatchTransfers()
{
    for (DWORD i = 0; i < m_count; ++i)
    {
        Event::Binding binding = m_events[i]->CurrentBinding();
        std::shared_ptr<Stream> stream = binding.stream.lock();
        pollfd watch{};
        if (!stream || !stream->Watch(binding.record, watch))
        {
            continue;
        }
        m_watches[m_count + m_streams.Size()] = watch;
        m_records[m_streams.Size()] = binding.record;
        m_streams.Add(std::move(stream));
    }
}

void MultipleWait::AdvanceReadyTransfers(bool anyReady)
{
    for (std::size_t i = 0; i < m_streams.Size(); ++i)
    {
        if (anyReady && m_watches[m_count + i].revents != 0)
        {
            m_streams[i]->Advance(m_records[i]);
        }
    }
    m_streams.Clear();
}

int MultipleWait::RemainingMilliseconds(bool infinite, Clock::time_point deadline) const
{
    if (infinite)
    {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
    {
        return 0;
    }
    // Rounded up by poll's own granularity: never wake before the deadline and report a time-out.
    return static_cast<int>(left + 1);
}

} // namespace Ostrel::Platform
