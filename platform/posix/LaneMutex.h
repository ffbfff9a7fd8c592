// LaneMutex: the lock of a transfer lane. Taking it when it is free and giving it back when nobody
// waits are one atomic operation each, made inline, since a lane's lock is taken on every transfer
// and is almost never contended; a thread that finds it taken sleeps on a futex until it is given
// back. Usable with std::lock_guard and std::unique_lock.
#pragma once

#include <atomic>

namespace Ostrel::Platform
{

class LaneMutex
{
public:
    LaneMutex() = default;
    LaneMutex(const LaneMutex&) = delete;
    LaneMutex& operator=(const LaneMutex&) = delete;

    void lock() noexcept
    {
        int expected = kFree;
        if (!m_state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                             std::memory_order_relaxed))
        {
            LockContended();
        }
    }
    void unlock() noexcept
    {
        if (m_state.exchange(kFree, std::memory_order_release) == kTakenWithSleepers)
        {
            WakeOne();
        }
    }

private:
    static constexpr int kFree = 0;
    static constexpr int kTaken = 1;
    static constexpr int kTakenWithSleepers = 2;

    void LockContended() noexcept;
    void WakeOne() noexcept;

    std::atomic<int> m_state{kFree};
};

} // namespace Ostrel::Platform
