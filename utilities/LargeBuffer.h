// Advice to the system for a large buffer about to be filled: back it with huge pages. Fresh memory
// costs a fault for every page first touched, and with 4 KiB pages those faults cost more than
// filling the buffer; with 2 MiB pages there are 512 times fewer. Only advice: the buffer's content
// never changes, and a system that refuses it leaves the buffer as it was.
#pragma once

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Ostrel::Core::detail
{

// From this size on, glibc serves an allocation with a mapping of its own (its mapping threshold
// grows to 32 MiB at most), so the advice covers that buffer alone and ends with it. Smaller
// buffers may lie in the shared heap, whose later users should not inherit the advice.
constexpr uint64_t kLargeBufferBytes = 32u << 20;

// data points at size bytes that the caller owns and has not touched yet.
inline void AdviseLargeBuffer(void* data, uint64_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (size < kLargeBufferBytes)
    {
        return;
    }
    // Only whole pages inside the buffer are advised, never memory next to it.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) / page * page;
    madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

} // namespace Ostrel::Core::detail
