// ThreadWaker: one eventfd per thread, not shared with a child made by fork.
#include "ThreadWaker.h"

#include "LastError.h"

#include <cerrno>
#include <cstdint>
#include <pthread.h>
#include <sys/eventfd.h>

namespace Ostrel::Platform
{

namespace
{

thread_local ThreadWaker t_waker;

} // namespace

ThreadWaker* ThreadWaker::Current()
{
    // Registered before any waker exists, so that every waker a child inherits is forgotten.
    static const bool forgetsInChildren = ::pthread_atfork(nullptr, nullptr, ForgetInheritedDescriptor) == 0;
    (void)forgetsInChildren;
    if (t_waker.m_fd.IsOpen())
    {
        return &t_waker;
    }
    t_waker.m_fd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!t_waker.m_fd.IsOpen())
    {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    return &t_waker;
}

// Runs in the child right after fork, before its code can close or reuse the descriptor's number.
void ThreadWaker::ForgetInheritedDescriptor() noexcept
{
    t_waker.m_fd.Reset();
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
