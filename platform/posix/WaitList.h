// WaitList: the threads blocked until something about an object changes. Each blocked call adds
// a Waiter from its own stack, with its thread's waker, and removes it before it returns; the
// object wakes every waiter in the list. Telling whether anyone waits costs one atomic load, so an
// object nobody waits for is changed without a lock or a system call.
#pragma once

#include <atomic>
#include <mutex>

namespace Ostrel::Platform
{

class ThreadWaker;

struct Waiter
{
    explicit Waiter(ThreadWaker* threadWaker = nullptr) : waker(threadWaker) {}

    ThreadWaker* waker;
    Waiter* previous = nullptr;
    Waiter* next = nullptr;
};

class WaitList
{
public:
    WaitList() = default;
    WaitList(const WaitList&) = delete;
    WaitList& operator=(const WaitList&) = delete;

    // A change made before WakeAll is seen by a waiter that checks it after Add: either the waiter
    // sees the change, or WakeAll sees the waiter (both sides are sequentially consistent).
    void Add(Waiter& waiter);
    void Remove(Waiter& waiter);
    void WakeAll();

private:
    std::mutex m_mutex;
    Waiter* m_first = nullptr;
    std::atomic<unsigned> m_count{0};
};

} // namespace Ostrel::Platform
