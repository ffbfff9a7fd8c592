// What a threaded channel holds: at most twice its largest frame (the frame being read and the
// frame held for the consumer), in every order of frame sizes and however many frames pass; and a
// corrupt length costs memory only as its bytes arrive. The heap is counted by an allocator of
// this test's own, live bytes and their peak; an echoing child sends the frames back.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "channel/ChannelFakes.h"
#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <new>
#include <string>

namespace
{

std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};

void* Allocate(std::size_t size)
{
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr)
    {
        throw std::bad_alloc();
    }
    const int64_t live = g_live.fetch_add(static_cast<int64_t>(malloc_usable_size(memory))) +
                         static_cast<int64_t>(malloc_usable_size(memory));
    int64_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live))
    {
    }
    return memory;
}

void Release(void* memory) noexcept
{
    if (memory != nullptr)
    {
        g_live.fetch_sub(static_cast<int64_t>(malloc_usable_size(memory)));
        std::free(memory);
    }
}

} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void operator delete(void* memory) noexcept
{
    Release(memory);
}
void operator delete[](void* memory) noexcept
{
    Release(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    Release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    Release(memory);
}

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

constexpr uint64_t kMiB = 1u << 20;
constexpr uint64_t kLargest = 4 * kMiB;
// Room for the thread's, the streams' and the log's own small allocations.
constexpr int64_t kSlack = 256 << 10;

TEST(ChannelMemory, HoldsAtMostTwiceItsLargestFrameInEveryOrder)
{
    // The pipes, the child and the test's buffers are made before the count starts.
    const std::string toChild = UniquePipeName();
    const std::string toParent = UniquePipeName();
    auto input = DataInputPipe::Create(toParent, true);
    auto output = DataOutputPipe::Create(toChild, true);
    ChildProcess child({"channel-echo", toChild, toParent});
    const std::vector<uint8_t> frames = Pattern(kLargest);
    std::vector<uint8_t> echo(kLargest);

    const int64_t baseline = g_live.load();
    g_peak.store(baseline);
    auto channel = CommunicationChannel::Create(input, output, true);
    uint64_t largest = 0;
    std::string firstExcess;
    auto exchange = [&](uint64_t size)
    {
        largest = std::max(largest, size);
        channel->Write(frames.data(), size);
        ASSERT_EQ(channel->Read(echo.data(), echo.size()), size);
        ASSERT_TRUE(MatchesPattern(echo.data(), size, 0));
        const int64_t peak = g_peak.load() - baseline;
        if (peak > 2 * static_cast<int64_t>(largest) + kSlack && firstExcess.empty())
        {
            firstExcess = "after a frame of " + std::to_string(size) + " B the peak was " +
                          std::to_string(static_cast<double>(peak) / largest) + " x the largest frame";
        }
    };

    // Rising sizes, each frame larger than every one before it.
    for (uint64_t size = kMiB; size <= kLargest; size += kMiB)
    {
        exchange(size);
    }
    const int64_t afterRising = g_live.load() - baseline;
    // Then many frames, small and large, with the largest among them again and again.
    uint64_t size = 1;
    for (int i = 0; i < 1500; ++i)
    {
        size = (size * 2654435761u + 12345) % kLargest + 1;
        exchange(i % 100 == 0 ? kLargest : size % (64 << 10) + 1);
    }
    exchange(kLargest);
    const int64_t afterMany = g_live.load() - baseline;

    channel->Write(nullptr, 0);
    EXPECT_EQ(channel->Read(echo.data(), echo.size()), 0u);
    channel.reset();
    input.reset();
    output.reset();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(firstExcess, "");
    EXPECT_LE(afterMany, afterRising + kSlack);
    EXPECT_LE(g_live.load() - baseline, kSlack);
    std::cout << "largest frame " << kLargest << " B; held after the rising frames " << afterRising
              << " B, after 1500 more " << afterMany << " B; peak "
              << static_cast<double>(g_peak.load() - baseline) / kLargest << " x the largest frame\n";
}

TEST(ChannelMemory, CorruptLengthCostsMemoryOnlyAsItsBytesArrive)
{
    LogCapture log;
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue);
    input->WriteBytes(LengthField(uint64_t{1} << 40));
    input->WriteBytes(Pattern(1000));
    input->Cancel();
    const int64_t baseline = g_live.load();
    g_peak.store(baseline);
    auto channel = CommunicationChannel::Create(input, new RecordingOutput, true);
    uint8_t out[8];
    EXPECT_EQ(channel->Read(out, sizeof out), 0u);
    EXPECT_LE(g_peak.load() - baseline, static_cast<int64_t>(kMiB) + kSlack);
    EXPECT_EQ(log.Count(google::GLOG_ERROR,
                        "The communication channel received 1000 of the 1099511627776 bytes "
                        "of a frame; the frame is dropped and its reader thread stops."),
              1);
}

} // namespace
