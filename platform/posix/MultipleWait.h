// MultipleWait: one WaitForMultipleObjects call. It polls the events that are not yet signalled
// together with the descriptors of the pending transfers bound to them, finishes those transfers
// on this thread when their descriptors are ready, and returns the lowest signalled index.
#pragma once

#include "Event.h"
#include "FixedList.h"
#include "Stream.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <array>
#include <chrono>
#include <memory>
#include <poll.h>

namespace Ostrel::Platform
{

class MultipleWait
{
public:
    // The events must be valid; count is 1 to MAXIMUM_WAIT_OBJECTS.
    MultipleWait(const std::shared_ptr<Event>* events, DWORD count);

    DWORD Run(DWORD milliseconds);

private:
    using Clock = std::chrono::steady_clock;

    // The lowest signalled index, or -1.
    int FirstSignalled() const;
    // Registers with every event; false (nothing left registered) when one is already signalled.
    bool Register();
    void Unregister();
    void WatchTransfers();
    // Tries again the transfers whose descriptors poll found ready, and lets go of the streams.
    void AdvanceReadyTransfers(bool anyReady);
    int RemainingMilliseconds(bool infinite, Clock::time_point deadline) const;

    const std::shared_ptr<Event>* m_events;
    const DWORD m_count;
    // Poll slots: the events' descriptors first, then the transfers' descriptors.
    std::array<pollfd, 2 * MAXIMUM_WAIT_OBJECTS> m_watches;
    FixedList<std::shared_ptr<Stream>, MAXIMUM_WAIT_OBJECTS> m_streams;
    std::array<const OVERLAPPED*, MAXIMUM_WAIT_OBJECTS> m_records;
};

} // namespace Ostrel::Platform
