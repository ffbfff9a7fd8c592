// MultipleWait: one WaitForMultipleObjects call. It registers with the events, polls its thread's
// waker together with the descriptors of the pending transfers bound to them, moves those
// transfers on when their descriptors are ready (each with its lane's lock, so never twice at
// once), and returns the lowest signalled index. A transfer bound to one of the events while the
// wait is under way wakes it, and the wait then watches that transfer too.
#pragma once

#include "Deadline.h"
#include "Event.h"
#include "FixedList.h"
#include "Stream.h"
#include "ThreadWaker.h"
#include "WaitList.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <array>
#include <memory>
#include <poll.h>

namespace Ostrel::Platform
{

class MultipleWait
{
public:
    // The events must stay valid for the call; count is 1 to MAXIMUM_WAIT_OBJECTS.
    MultipleWait(Event* const* events, DWORD count);

    DWORD Run(DWORD milliseconds);

private:
    using Clock = Deadline::Clock;

    struct WatchedTransfer
    {
        Stream* stream;
        TransferKind kind;
        Clock::time_point retryAt;
    };

    // The lowest signalled index, or -1.
    int FirstSignalled() const;
    void Register();
    void Unregister();
    // Fills the poll slots after the waker's; returns the earliest time a transfer wants a retry.
    Clock::time_point WatchTransfers();
    // Moves on the transfers that poll found ready or whose retry is due, and lets go of them.
    void AdvanceReadyTransfers();

    Event* const* m_events;
    const DWORD m_count;
    ThreadWaker* m_waker = nullptr;
    std::array<Waiter, MAXIMUM_WAIT_OBJECTS> m_waiters;
    // Poll slots: the waker first, then the transfers' descriptors.
    std::array<pollfd, 1 + MAXIMUM_WAIT_OBJECTS> m_watches;
    FixedList<std::shared_ptr<KernelObject>, MAXIMUM_WAIT_OBJECTS> m_streams;
    std::array<WatchedTransfer, MAXIMUM_WAIT_OBJECTS> m_transfers;
};

} // namespace Ostrel::Platform
