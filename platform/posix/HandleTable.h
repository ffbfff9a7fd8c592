// HandleTable: the process's handles. A handle value carries a slot index and the slot's generation,
// so a closed handle, or one whose slot has since been reused, is refused instead of reaching
// whatever object the slot holds now. Looking a handle up takes only that slot's own lock, so
// threads that use different handles never wait for each other; the calls of the layer look their
// handles up through the thread's HandleCache, which comes here only on a miss.
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
    // When the library is unloaded: frees the table and every object still in it. No thread may be
    // in the layer.
    static void FreeAtUnload() noexcept;

    // A new handle for the object; INVALID_HANDLE_VALUE with the thread's error set when the
    // table is full.
    HANDLE Insert(std::shared_ptr<KernelObject> object);
    // The object the handle names, or null (error ERROR_INVALID_HANDLE set) when it names none,
    // with the word that changes when the handle is closed and the value it has until then.
    std::shared_ptr<KernelObject> Find(HANDLE handle, const std::atomic<std::uint32_t>*& slotGeneration,
                                       std::uint32_t& generation) const;
    // Takes the object out of the table; later finds of the handle fail.
    std::shared_ptr<KernelObject> Remove(HANDLE handle);

private:
    HandleTable() = default;
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

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
    bool AddChunk();

    std::array<std::atomic<Chunk*>, kMaxChunks> m_chunks{};
    // Guards the allocation of slots: the count of slots made and the free list.
    std::mutex m_mutex;
    std::uint32_t m_slotCount = 0;
    std::vector<std::uint32_t> m_free;
};

} // namespace Ostrel::Platform
