// HandleRef: the object a handle names, held for the length of one call. Lookups go through a small
// per-thread cache of the handles the thread used last, which holds a reference to each object;
// a lookup that hits it checks only the handle's generation, so threads that use one handle at once
// (the two directions of a duplex end) write to no shared memory to find it. A ref pins its cache
// entry, so that no other lookup of the same call can replace the object under it.
#pragma once

#include "KernelObject.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <memory>
#include <utility>

namespace Ostrel::Platform
{

// One entry of a thread's handle cache.
struct CachedHandle
{
    HANDLE handle = nullptr;
    std::shared_ptr<KernelObject> object;
    unsigned pins = 0;
};

template <class T> class HandleRef
{
public:
    HandleRef() = default;
    HandleRef(T* object, CachedHandle& pinned) noexcept : m_object(object), m_pinned(&pinned)
    {
        ++pinned.pins;
    }
    explicit HandleRef(std::shared_ptr<T> owned) noexcept : m_object(owned.get()), m_owned(std::move(owned))
    {
    }
    HandleRef(HandleRef&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr)), m_pinned(std::exchange(other.m_pinned, nullptr)),
          m_owned(std::move(other.m_owned))
    {
    }
    HandleRef& operator=(HandleRef&& other) noexcept
    {
        if (this != &other)
        {
            Unpin();
            m_object = std::exchange(other.m_object, nullptr);
            m_pinned = std::exchange(other.m_pinned, nullptr);
            m_owned = std::move(other.m_owned);
        }
        return *this;
    }
    HandleRef(const HandleRef&) = delete;
    HandleRef& operator=(const HandleRef&) = delete;
    ~HandleRef() { Unpin(); }

    T* get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

    // A reference of its own, for whoever keeps the object beyond the call.
    std::shared_ptr<T> Share() const
    {
        if (m_pinned != nullptr)
        {
            return std::shared_ptr<T>(m_pinned->object, m_object);
        }
        return m_owned;
    }

private:
    void Unpin() noexcept
    {
        if (m_pinned != nullptr)
        {
            --m_pinned->pins;
            m_pinned = nullptr;
        }
    }

    T* m_object = nullptr;
    CachedHandle* m_pinned = nullptr;
    std::shared_ptr<T> m_owned;
};

} // namespace Ostrel::Platform
