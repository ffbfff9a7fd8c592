// HandleTable: slot index and generation packed into the handle value.
#include "HandleTable.h"

#include "LastError.h"
#include "LibraryUnload.h"

#include <new>
#include <thread>

namespace Ostrel::Platform
{

namespace
{

// Values are multiples of 4, as Win32's are; never 0 (generations start at 1) and never
// INVALID_HANDLE_VALUE (the top bits stay clear).
constexpr unsigned kIndexBits = 20;
constexpr unsigned kGenerationShift = kIndexBits + 2;
constexpr std::uint32_t kLastGeneration = 0xFFFFFFFFu;

HANDLE Encode(std::uint32_t index, std::uint32_t generation)
{
    const std::uint64_t value = (std::uint64_t{generation} << kGenerationShift) | (std::uint64_t{index} << 2);
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

bool Decode(HANDLE handle, std::uint32_t& index, std::uint32_t& generation)
{
    const auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
    if ((value & 3u) != 0 || (value >> (kGenerationShift + 32)) != 0)
    {
        return false;
    }
    index = static_cast<std::uint32_t>((value >> 2) & ((1u << kIndexBits) - 1));
    generation = static_cast<std::uint32_t>(value >> kGenerationShift);
    return generation != 0;
}

} // namespace

HandleTable::SlotLock::SlotLock(const Slot& slot) : m_slot(slot)
{
    // Held only to copy or swap one pointer: spinning is cheaper than sleeping.
    while (m_slot.busy.exchange(true, std::memory_order_acquire))
    {
        std::this_thread::yield();
    }
}

HandleTable::SlotLock::~SlotLock()
{
    m_slot.busy.store(false, std::memory_order_release);
}

namespace
{

HandleTable* g_table = nullptr;

} // namespace

HandleTable& HandleTable::Instance()
{
    // Not destroyed when the process exits, since threads that outlive main() may still close or
    // use handles; only unloading the library frees it.
    static std::once_flag made;
    std::call_once(made,
                   []
                   {
                       WatchForProcessExit();
                       g_table = new HandleTable;
                   });
    return *g_table;
}

void HandleTable::FreeAtUnload() noexcept
{
    delete g_table;
    g_table = nullptr;
}

HandleTable::~HandleTable()
{
    for (auto& chunk : m_chunks)
    {
        delete chunk.load(std::memory_order_relaxed);
    }
}

HandleTable::Slot* HandleTable::SlotAt(std::uint32_t index) const
{
    Chunk* chunk = m_chunks[index >> kChunkBits].load(std::memory_order_acquire);
    return chunk != nullptr ? &chunk->slots[index & (kChunkSize - 1)] : nullptr;
}

bool HandleTable::AddChunk()
{
    const std::uint32_t chunkIndex = m_slotCount >> kChunkBits;
    if (chunkIndex >= kMaxChunks)
    {
        return false;
    }
    // Room for every slot in the free list, so that Remove never allocates.
    m_free.reserve(std::size_t{m_slotCount} + kChunkSize);
    m_chunks[chunkIndex].store(new Chunk, std::memory_order_release);
    return true;
}

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::uint32_t index;
    if (!m_free.empty())
    {
        index = m_free.back();
        m_free.pop_back();
    }
    else
    {
        if ((m_slotCount & (kChunkSize - 1)) == 0 && !AddChunk())
        {
            return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
        }
        index = m_slotCount++;
    }
    Slot& slot = *SlotAt(index);
    const SlotLock slotLock(slot);
    slot.object = std::move(object);
    return Encode(index, slot.generation.load(std::memory_order_relaxed));
}

HandleTable::Slot* HandleTable::SlotOf(HANDLE handle) const
{
    std::uint32_t index = 0;
    std::uint32_t generation = 0;
    return Decode(handle, index, generation) ? SlotAt(index) : nullptr;
}

bool HandleTable::Matches(const Slot& slot, HANDLE handle)
{
    std::uint32_t index = 0;
    std::uint32_t generation = 0;
    return Decode(handle, index, generation) && slot.generation.load(std::memory_order_acquire) == generation;
}

bool HandleTable::InvalidHandle()
{
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle,
                                                const std::atomic<std::uint32_t>*& slotGeneration,
                                                std::uint32_t& generation) const
{
    std::uint32_t index = 0;
    const Slot* slot = Decode(handle, index, generation) ? SlotAt(index) : nullptr;
    if (slot != nullptr)
    {
        const SlotLock slotLock(*slot);
        if (slot->object && Matches(*slot, handle))
        {
            slotGeneration = &slot->generation;
            return slot->object;
        }
    }
    InvalidHandle();
    return nullptr;
}

std::shared_ptr<KernelObject> HandleTable::Remove(HANDLE handle)
{
    Slot* slot = SlotOf(handle);
    if (slot == nullptr)
    {
        InvalidHandle();
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    std::shared_ptr<KernelObject> object;
    {
        const SlotLock slotLock(*slot);
        if (!slot->object || !Matches(*slot, handle))
        {
            InvalidHandle();
            return nullptr;
        }
        object = std::move(slot->object);
        slot->object.reset();
        slot->generation.store(slot->generation.load(std::memory_order_relaxed) + 1,
                               std::memory_order_release);
    }
    // A slot whose generations are used up is retired rather than reused.
    if (slot->generation.load(std::memory_order_relaxed) != kLastGeneration)
    {
        m_free.push_back(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle) >> 2) &
                         ((1u << kIndexBits) - 1));
    }
    return object;
}

} // namespace Ostrel::Platform
