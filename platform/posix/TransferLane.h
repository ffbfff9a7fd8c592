// TransferLane: the pending transfers of one kind (connects, reads or writes) on one stream, in
// the order they were started, and the lock under which they move. Whoever holds the lock is the
// one owner of the lane's transfers: only it makes their system calls, so each byte moves once,
// and any other thread that wants to move them waits for the lock and then finds the result.
// Lanes of different kinds share nothing, so the two directions of a duplex end never wait for
// each other.
#pragma once

#include "LaneMutex.h"
#include "Transfer.h"

#include <cstddef>
#include <vector>

namespace Ostrel::Platform
{

class alignas(64) TransferLane
{
public:
    TransferLane()
    {
        // Room for the usual one pending transfer and a spare without allocating.
        m_pending.reserve(2);
    }

    LaneMutex& Mutex() noexcept { return m_mutex; }

    bool IsEmpty() const noexcept { return m_pending.empty(); }
    std::size_t Size() const noexcept { return m_pending.size(); }
    PendingTransfer* Head() noexcept { return m_pending.empty() ? nullptr : &m_pending.front(); }
    PendingTransfer& At(std::size_t index) noexcept { return m_pending[index]; }
    // The index of the record's transfer, or Size() when it has none here.
    std::size_t Find(const OVERLAPPED* record) const noexcept
    {
        std::size_t index = 0;
        while (index < m_pending.size() && m_pending[index].record != record)
        {
            ++index;
        }
        return index;
    }
    bool Holds(const OVERLAPPED* record) const noexcept { return Find(record) < m_pending.size(); }

    // May throw std::bad_alloc.
    void Add(PendingTransfer transfer) { m_pending.push_back(std::move(transfer)); }
    // Takes the transfer out, keeping the order of the others.
    PendingTransfer Take(std::size_t index)
    {
        PendingTransfer taken = std::move(m_pending[index]);
        m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(index));
        return taken;
    }

private:
    LaneMutex m_mutex;
    std::vector<PendingTransfer> m_pending;
};

} // namespace Ostrel::Platform
