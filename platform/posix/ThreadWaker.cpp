// ThreadWaker: one eventfd per thread, renewed in a child after fork.
#include "ThreadWaker.h"

#include "LastError.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <pthread.h>
#include <sys/eventfd.h>

namespace Ostrel::Platform
{

namespace
{

// Counts the forks this process descends from, so that a waker inherited from the parent is
// recognised and replaced.
std::atomic<unsigned> g_forkGeneration{0};

void CountFork()
{
    g_forkGeneration.fetch_add(1, std::memory_order_relaxed);
}

unsigned ForkGeneration()
{
    static const bool registered = ::pthread_atfork(nullptr, nullptr, CountFork) == 0;
    (void)registered;
    return g_forkGeneration.load(std::memory_order_relaxed);
}

} // namespace

ThreadWaker* ThreadWaker::Current()
{
    thread_local ThreadWaker waker;
    if (waker.m_fd.IsOpen() && waker.m_forkGeneration == ForkGeneration())
    {
        return &waker;
    }
    return waker.Renew() ? &waker : nullptr;
}

bool ThreadWaker::Renew()
{
    // Closing an inherited descriptor closes only this process's copy.
    m_fd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_fd.IsOpen())
    {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    m_forkGeneration = ForkGeneration();
    return true;
}

void ThreadWaker::Wake() noexcept
{
    const std::uint64_t one = 1;
    // Cannot fail short of an overflow of the counter, which a drain long before prevents.
    [[maybe_unused]] const ssize_t written = ::write(m_fd.Get(), &one, sizeof one);
}

void ThreadWaker::Drain() noexcept
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(m_fd.Get(), &count, sizeof count);
}

} // namespace Ostrel::Platform
