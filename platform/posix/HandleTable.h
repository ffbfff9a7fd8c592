// HandleTable: the process's handles. A handle value carries a slot index and the slot's generation,
// so a closed handle, or one whose slot has since been reused, is refused instead of reaching
// whatever object the slot holds now. Looking a handle up takes only that slot's own lock, so
// threads that use different handles never wait for each other; a lookup that the thread's handle
// cache answers (see HandleRef) takes no lock at all.
#pragma once

#include "HandleRef.h"
#include "KernelObject.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace Ostrel::Platform
{

class HandleTable
{
public:
    static HandleTable& Instance();

    // A new handle for the object; INVALID_HANDLE_VALUE with the thread's error set when the
    // table is full.
    HANDLE Insert(std::shared_ptr<KernelObject> object);
    // The object the handle names, or null (error ERROR_INVALID_HANDLE set) when it names none.
    std::shared_ptr<KernelObject> Find(HANDLE handle) const;
    // The object the handle names seen as a T through `as` (AsEvent, AsStream), or null (error
    // ERROR_INVALID_HANDLE set) when it names no such object.
    template <class T> HandleRef<T> FindAs(HANDLE handle, T* (KernelObject::*as)() noexcept) const
    {
        CachedHandle* cached = nullptr;
        std::shared_ptr<KernelObject> owned;
        KernelObject* object = Resolve(handle, cached, owned);
        T* typed = object != nullptr ? (object->*as)() : nullptr;
        if (typed == nullptr)
        {
            InvalidHandle();
            return HandleRef<T>();
        }
        if (cached != nullptr)
        {
            return HandleRef<T>(typed, *cached);
        }
        return HandleRef<T>(std::shared_ptr<T>(std::move(owned), typed));
    }
    // Takes the object out of the table; later finds of the handle fail.
    std::shared_ptr<KernelObject> Remove(HANDLE handle);

private:
    static constexpr unsigned kChunkBits = 10;
    static constexpr std::uint32_t kChunkSize = 1u << kChunkBits;
    static constexpr std::uint32_t kMaxChunks = 1024;

    // A cache line each: threads using neighbouring handles do not share one.
    struct alignas(64) Slot
    {
        mutable std::atomic<bool> busy{false};
        // Changed only with the slot locked; read without the lock by the handle cache.
        std::atomic<std::uint32_t> generation{1};
        std::shared_ptr<KernelObject> object;
    };
    // Slots live in chunks that are never moved or freed, so a lookup needs no table-wide lock.
    struct Chunk
    {
        std::array<Slot, kChunkSize> slots;
    };
    // Holds a slot's own lock.
    class SlotLock
    {
    public:
        explicit SlotLock(const Slot& slot);
        ~SlotLock();
        SlotLock(const SlotLock&) = delete;
        SlotLock& operator=(const SlotLock&) = delete;

    private:
        const Slot& m_slot;
    };

    Slot* SlotAt(std::uint32_t index) const;
    // The slot a handle value points at, whatever it holds now; null for values that are no handle.
    Slot* SlotOf(HANDLE handle) const;
    static bool Matches(const Slot& slot, HANDLE handle);
    static bool InvalidHandle();
    // The object the handle names, null when it names none. It is held by the calling thread's
    // cache entry, set in `cached`, or, when a call of the thread still pins the entry with another
    // object, by `owned`.
    KernelObject* Resolve(HANDLE handle, CachedHandle*& cached, std::shared_ptr<KernelObject>& owned) const;
    bool AddChunk();

    std::array<std::atomic<Chunk*>, kMaxChunks> m_chunks{};
    // Guards the allocation of slots: the count of slots made and the free list.
    std::mutex m_mutex;
    std::uint32_t m_slotCount = 0;
    std::vector<std::uint32_t> m_free;
};

// The event a handle names, or null with ERROR_INVALID_HANDLE set when it names no event.
HandleRef<Event> FindEvent(HANDLE handle);
// The pipe end or standard handle a handle names, or null with ERROR_INVALID_HANDLE set.
HandleRef<Stream> FindStream(HANDLE handle);

} // namespace Ostrel::Platform
