// WaitList: an intrusive list of blocked calls, woken all at once.
#include "WaitList.h"

#include "ThreadWaker.h"

namespace Ostrel::Platform
{

void WaitList::Add(Waiter& waiter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    waiter.previous = nullptr;
    waiter.next = m_first;
    if (m_first != nullptr)
    {
        m_first->previous = &waiter;
    }
    m_first = &waiter;
    m_count.fetch_add(1);
}

void WaitList::Remove(Waiter& waiter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (waiter.previous != nullptr)
    {
        waiter.previous->next = waiter.next;
    }
    else
    {
        m_first = waiter.next;
    }
    if (waiter.next != nullptr)
    {
        waiter.next->previous = waiter.previous;
    }
    waiter.previous = nullptr;
    waiter.next = nullptr;
    m_count.fetch_sub(1);
}

void WaitList::WakeAll()
{
    if (m_count.load() == 0)
    {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Waiter* waiter = m_first; waiter != nullptr; waiter = waiter->next)
    {
        waiter->waker->Wake();
    }
}

} // namespace Ostrel::Platform
