// Benchmark helpers: the ratio report and an allocation counter that replaces operator new.
#include "support/BenchSupport.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<uint64_t> g_allocations{0};
}

void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size))
    {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace zelio_bench
{

uint64_t AllocationCount()
{
    return g_allocations.load(std::memory_order_relaxed);
}

void Comparison::Report(benchmark::State& state, uint64_t bytesPerPass) const
{
    const double passes = static_cast<double>(state.iterations());
    const double bytes = passes * static_cast<double>(bytesPerPass);
    constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
    state.counters["floor_GiBps"] = bytes / m_floorSeconds / kGiB;
    state.counters["zelio_GiBps"] = bytes / m_librarySeconds / kGiB;
    state.counters["ratio"] = m_floorSeconds / m_librarySeconds;
    state.counters["allocs_per_call"] = m_calls ? static_cast<double>(m_allocations) / m_calls : 0.0;
}

} // namespace zelio_bench
