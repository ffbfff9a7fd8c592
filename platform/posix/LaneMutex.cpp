// LaneMutex: the futex side of the lock.
#include "LaneMutex.h"

#include <climits>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

int* FutexWord(std::atomic<int>& state)
{
    static_assert(sizeof(std::atomic<int>) == sizeof(int), "the futex is the atomic's own word");
    return reinterpret_cast<int*>(&state);
}

} // namespace

void LaneMutex::LockContended() noexcept
{
    // Marked as having sleepers before sleeping, so that the holder's unlock wakes one; a thread
    // woken takes it marked the same way, since others may still sleep.
    while (m_state.exchange(kTakenWithSleepers, std::memory_order_acquire) != kFree)
    {
        ::syscall(SYS_futex, FutexWord(m_state), FUTEX_WAIT_PRIVATE, kTakenWithSleepers, nullptr, nullptr, 0);
    }
}

void LaneMutex::WakeOne() noexcept
{
    ::syscall(SYS_futex, FutexWord(m_state), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

} // namespace Ostrel::Platform
