// Event: a manual-reset event that a wait can poll. The signalled state and the count of waiting
// threads share one atomic word, and the eventfd is written only while some thread waits, so
// setting, resetting and testing an event nobody waits on costs neither a lock nor a system call.
#pragma once

#include "FileDescriptor.h"
#include "KernelObject.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace Ostrel::Platform
{

class Event final : public KernelObject
{
public:
    // The pending transfer whose hEvent this event is, so that a wait on the event can finish it.
    struct Binding
    {
        std::weak_ptr<Stream> stream;
        OVERLAPPED* record = nullptr;
    };

    // Null, with the thread's error set, when the system has no descriptor to give.
    static std::shared_ptr<Event> Create(bool signalled);

    Event* AsEvent() noexcept override { return this; }

    void Set();
    void Reset();
    bool IsSignalled() const noexcept;

    // A wait registers before it polls Fd() and leaves afterwards. BeginWait returns true, without
    // registering, when the event is already signalled.
    bool BeginWait();
    void EndWait();
    int Fd() const noexcept { return m_fd.Get(); }

    void Bind(std::weak_ptr<Stream> stream, OVERLAPPED* record);
    void Unbind(const OVERLAPPED* record);
    Binding CurrentBinding() const;

    Event(FileDescriptor fd, bool signalled);

private:
    // With the mutex held: empties the eventfd's counter unless the event is signalled.
    void LowerFdUnlessSignalled();

    static constexpr std::uint32_t kSignalled = 1;
    static constexpr std::uint32_t kOneWaiter = 2;

    FileDescriptor m_fd;
    // kSignalled, plus kOneWaiter for each registered wait.
    std::atomic<std::uint32_t> m_state;
    // Whether the eventfd's counter is non-zero; changed only under the mutex.
    std::atomic<bool> m_fdRaised{false};
    // Guards the eventfd's counter and the binding.
    mutable std::mutex m_mutex;
    Binding m_binding;
};

} // namespace Ostrel::Platform
