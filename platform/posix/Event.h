// Event: a manual-reset event. Its state is one atomic flag, so setting, resetting and testing an
// event that nobody waits for costs neither a lock nor a system call. Waits register with its wait
// list and are woken through their own thread's waker.
//
// An event may be the hEvent of a pending transfer: it is then bound to that transfer, so that a
// wait on the event watches the transfer and finishes it. Binding wakes the waits already under
// way, so that they start watching the new transfer.
#pragma once

#include "KernelObject.h"
#include "Transfer.h"
#include "WaitList.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace Ostrel::Platform
{

class Event final : public KernelObject
{
public:
    // The pending transfer whose hEvent this event is.
    struct Binding
    {
        std::weak_ptr<KernelObject> stream;
        TransferKind kind = TransferKind::Read;
        const OVERLAPPED* record = nullptr;
    };

    explicit Event(bool signalled) : m_signalled(signalled) {}

    Event* AsEvent() noexcept override { return this; }

    void Set();
    void Reset() noexcept;
    bool IsSignalled() const noexcept { return m_signalled.load(); }

    // A wait adds itself, then tests the state: a Set that comes later wakes it.
    void AddWaiter(Waiter& waiter) { m_waiters.Add(waiter); }
    void RemoveWaiter(Waiter& waiter) { m_waiters.Remove(waiter); }

    void Bind(std::weak_ptr<KernelObject> stream, TransferKind kind, const OVERLAPPED* record);
    void Unbind(const OVERLAPPED* record);
    Binding CurrentBinding() const;

private:
    std::atomic<bool> m_signalled;
    WaitList m_waiters;
    mutable std::mutex m_bindingMutex;
    Binding m_binding;
};

} // namespace Ostrel::Platform
