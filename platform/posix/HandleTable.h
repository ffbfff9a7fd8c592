// HandleTable: the process's handles. A handle value carries a slot index and the slot's generation,
// so a closed handle, or one whose slot has since been reused, is refused instead of reaching
// whatever object the slot holds now. Looking a handle up takes only that slot's own lock, so
// threads that use different handles never wait for each other.
#pragma once

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
    template <class T> std::shared_ptr<T> FindAs(HANDLE handle, T* (KernelObject::*as)() noexcept) const
    {
        const Slot* slot = SlotOf(handle);
        if (slot != nullptr)
        {
            const SlotLock slotLock(*slot);
            T* object = slot->object && Matches(*slot, handle) ? ((*slot->object).*as)() : nullptr;
            if (object != nullptr)
            {
                return std::shared_ptr<T>(slot->object, object);
            }
        }
        InvalidHandle();
        return nullptr;
    }
    // Takes the object out of the table; later finds of the handle fail.
    std::shared_ptr<KernelObject> Remove(HANDLE handle);

    // Calls visit(object) with the handle's slot locked, so without taking a reference; false
    // (error ERROR_INVALID_HANDLE set) when the handle names no object. For short calls that never
    // block and never look a handle up.
    template <class Function> bool Visit(HANDLE handle, Function&& visit) const
    {
        const Slot* slot = SlotOf(handle);
        if (slot != nullptr)
        {
            const SlotLock slotLock(*slot);
            if (slot->object && Matches(*slot, handle))
            {
                return visit(*slot->object);
            }
        }
        return InvalidHandle();
    }

private:
    static constexpr unsigned kChunkBits = 10;
    static constexpr std::uint32_t kChunkSize = 1u << kChunkBits;
    static constexpr std::uint32_t kMaxChunks = 1024;

    // A cache line each: threads using neighbouring handles do not share one.
    struct alignas(64) Slot
    {
        mutable std::atomic<bool> busy{false};
        std::uint32_t generation = 1;
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
    bool AddChunk();

    std::array<std::atomic<Chunk*>, kMaxChunks> m_chunks{};
    // Guards the allocation of slots: the count of slots made and the free list.
    std::mutex m_mutex;
    std::uint32_t m_slotCount = 0;
    std::vector<std::uint32_t> m_free;
};

// The event a handle names, or null with ERROR_INVALID_HANDLE set when it names no event.
std::shared_ptr<Event> FindEvent(HANDLE handle);
// The pipe end or standard handle a handle names, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<Stream> FindStream(HANDLE handle);

} // namespace Ostrel::Platform
