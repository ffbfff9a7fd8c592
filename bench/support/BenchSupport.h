// Helpers for the benchmarks: every benchmark times the library and its floor (the bare system
// or runtime calls it is built on) in the same run, interleaved, and reports their ratio, since
// the machine is shared and absolute figures drift. Allocations made by the process are counted,
// to show that a transfer allocates nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace zelio_bench
{

// The number of operator new calls the process has made so far.
uint64_t AllocationCount();

// Accumulates the time of a library pass and of a floor pass, then reports both throughputs,
// their ratio (library / floor, 1.0 = as fast as the floor) and the library's allocations per call.
class Comparison
{
public:
    template <class Pass> void TimeFloor(Pass&& pass) { m_floorSeconds += Seconds(pass); }

    // calls: how many library calls the pass makes, for the allocations-per-call figure.
    template <class Pass> void TimeLibrary(uint64_t calls, Pass&& pass)
    {
        const uint64_t before = AllocationCount();
        m_librarySeconds += Seconds(pass);
        m_allocations += AllocationCount() - before;
        m_calls += calls;
    }

    // bytes: how many bytes one pass moves.
    void Report(benchmark::State& state, uint64_t bytesPerPass) const;

private:
    template <class Pass> static double Seconds(Pass& pass)
    {
        const auto start = std::chrono::steady_clock::now();
        pass();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    double m_floorSeconds = 0;
    double m_librarySeconds = 0;
    uint64_t m_allocations = 0;
    uint64_t m_calls = 0;
};

} // namespace zelio_bench
