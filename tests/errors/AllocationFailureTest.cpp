// Exceptions built while memory is exhausted: the allocation's std::bad_alloc comes through in
// place of the exception being built, and the process goes on normally afterwards.
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/MemoryException.h>
#include <Ostrel/ErrorInfo.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/exception/info.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<bool> g_exhausted{false};
}

// This executable's allocations go through malloc, and fail on demand.
void* operator new(std::size_t size)
{
    void* memory = g_exhausted.load() ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr)
    {
        throw std::bad_alloc();
    }
    return memory;
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace
{

struct Exhausted
{
    Exhausted() { g_exhausted = true; }
    ~Exhausted() { g_exhausted = false; }
};

TEST(AllocationFailure, RecordsThatCannotBeAllocatedLetBadAllocThrough)
{
    const std::string description = "block too small";
    {
        Exhausted exhausted;
        EXPECT_THROW(Ostrel::Core::MemoryException(description, 64), std::bad_alloc);
        EXPECT_THROW(Ostrel::Core::IOException() << Ostrel::Core::ErrorSeek(7), std::bad_alloc);
    }
    const Ostrel::Core::MemoryException built(description, 64);
    EXPECT_EQ(*boost::get_error_info<Ostrel::ErrorDescription>(built), description);
}

} // namespace
