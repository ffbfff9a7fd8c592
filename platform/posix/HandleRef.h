// HandleRef: the object a handle names, held for the length of one call, either by the calling
// thread's handle cache (see HandleCache), whose entry it pins so that no other lookup of the same
// call replaces the object under it, or by a reference of its own.
#pragma once

#include "KernelObject.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

namespace Ostrel::Platform
{

// One entry of a thread's handle cache: the handle, the object it named when cached, seen as the
// kinds the layer looks for, and where to check that the handle still names it.
struct CachedHandle
{
    HANDLE handle = nullptr;
    const std::atomic<std::uint32_t>* slotGeneration = nullptr;
    std::uint32_t generation = 0;
    Event* event = nullptr;
    Stream* stream = nullptr;
    std::shared_ptr<KernelObject> object;
    unsigned pins = 0;

    // A handle closed since it was cached has moved its slot to a later generation.
    bool Holds(HANDLE value) const noexcept
    {
        return handle == value && slotGeneration != nullptr &&
               slotGeneration->load(std::memory_order_acquire) == generation;
    }
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
