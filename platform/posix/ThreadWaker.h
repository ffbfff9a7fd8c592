// ThreadWaker: the calling thread's own wake-up descriptor. A thread that blocks in poll adds it to
// the descriptors it polls and registers it with the objects it waits for (an event, a stream);
// they wake it by making the descriptor readable. Each thread drains only its own descriptor, so a
// wake-up meant for one thread is never taken by another. In a child made by fork, the forking
// thread's copy of its parent's descriptor is closed at once, and the child makes its own on
// first use.
#pragma once

#include "FileDescriptor.h"

namespace Ostrel::Platform
{

class ThreadWaker
{
public:
    // The calling thread's waker; null, with the thread's error set, when the system has no
    // descriptor to give.
    static ThreadWaker* Current();

    int Fd() const noexcept { return m_fd.Get(); }
    // Any thread: makes the descriptor readable.
    void Wake() noexcept;
    // The owning thread, after its poll: makes the descriptor unreadable again.
    void Drain() noexcept;

private:
    static void ForgetInheritedDescriptor() noexcept;

    FileDescriptor m_fd;
};

} // namespace Ostrel::Platform
