// KernelObject: what a HANDLE names. The handle table shares ownership of each object with the
// calls that use it, so an object lives until its handle is closed and the last call has returned.
#pragma once

#include <memory>

namespace Ostrel::Platform
{

class Event;
class Stream;

// Aligned to a cache line, together with its reference counts, so that objects used by different
// threads never share one.
class alignas(64) KernelObject : public std::enable_shared_from_this<KernelObject>
{
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    // Called once, by CloseHandle, after the handle has left the table: ends what is pending and
    // wakes the calls that still use the object.
    virtual void Close() {}

    virtual Event* AsEvent() noexcept { return nullptr; }
    virtual Stream* AsStream() noexcept { return nullptr; }
};

} // namespace Ostrel::Platform
