// MultipleWait: the poll loop behind WaitForMultipleObjects.
#include "MultipleWait.h"

#include <algorithm>
#include <chrono>

namespace Ostrel::Platform
{

namespace
{

// Without a waker of its own the wait cannot be woken early: it looks again this often.
constexpr auto kUnwokenPollInterval = std::chrono::milliseconds(10);

} // namespace

MultipleWait::MultipleWait(Event* const* events, DWORD count) : m_events(events), m_count(count) {}

DWORD MultipleWait::Run(DWORD milliseconds)
{
    const Deadline deadline = Deadline::After(milliseconds);
    m_waker = ThreadWaker::Current();
    for (;;)
    {
        Register();
        int signalled = FirstSignalled();
        if (signalled < 0)
        {
            Clock::time_point retryAt = WatchTransfers();
            if (m_waker == nullptr)
            {
                retryAt = std::min(retryAt, Clock::now() + kUnwokenPollInterval);
            }
            m_watches[0] = pollfd{m_waker != nullptr ? m_waker->Fd() : -1, POLLIN, 0};
            ::poll(m_watches.data(), 1 + m_streams.Size(), deadline.PollMilliseconds(retryAt));
            // Most waits end on their transfer's descriptor: the waker is drained only when woken.
            if (m_waker != nullptr && m_watches[0].revents != 0)
            {
                m_waker->Drain();
            }
        }
        Unregister();
        AdvanceReadyTransfers();
        signalled = FirstSignalled();
        if (signalled >= 0)
        {
            return WAIT_OBJECT_0 + static_cast<DWORD>(signalled);
        }
        if (deadline.HasPassed())
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

void MultipleWait::Register()
{
    if (m_waker == nullptr)
    {
        return;
    }
    for (DWORD i = 0; i < m_count; ++i)
    {
        m_waiters[i].waker = m_waker;
        m_events[i]->AddWaiter(m_waiters[i]);
    }
}

void MultipleWait::Unregister()
{
    if (m_waker == nullptr)
    {
        return;
    }
    for (DWORD i = 0; i < m_count; ++i)
    {
        m_events[i]->RemoveWaiter(m_waiters[i]);
    }
}

MultipleWait::Clock::time_point MultipleWait::WatchTransfers()
{
    Clock::time_point earliest = Clock::time_point::max();
    for (DWORD i = 0; i < m_count; ++i)
    {
        const Event::Binding binding = m_events[i]->CurrentBinding();
        std::shared_ptr<KernelObject> object = binding.stream.lock();
        Stream* stream = object ? object->AsStream() : nullptr;
        Watch watch;
        if (stream == nullptr || !stream->WatchTransfer(binding.kind, binding.record, watch))
        {
            continue;
        }
        const std::size_t slot = m_streams.Size();
        m_watches[1 + slot] = watch.poll;
        m_transfers[slot] = WatchedTransfer{stream, binding.kind, watch.retryAt};
        m_streams.Add(std::move(object));
        earliest = std::min(earliest, watch.retryAt);
    }
    return earliest;
}

void MultipleWait::AdvanceReadyTransfers()
{
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < m_streams.Size(); ++i)
    {
        const WatchedTransfer& transfer = m_transfers[i];
        if (m_watches[1 + i].revents != 0 || transfer.retryAt <= now)
        {
            transfer.stream->Advance(transfer.kind);
        }
    }
    m_streams.Clear();
}

} // namespace Ostrel::Platform
