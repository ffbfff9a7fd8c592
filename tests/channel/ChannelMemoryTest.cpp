// What a threaded channel holds: at most twice its largest frame (the frame being read and the
// frame held for the consumer), however many frames pass. The heap is counted by an allocator of
// this test's own, live bytes and their peak, while an echoing child sends the frames back.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "pipes/PipeTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <new>

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

constexpr uint64_t kLargest = 4u << 20;
// Room for the thread's and the streams' own small allocations.
constexpr int64_t kSlack = 256 << 10;

// A pipe pair to an echoing child, and the test's buffers, all made before the count starts.
struct EchoPeer
{
    EchoPeer(const std::string& toChild = UniquePipeName(), const std::string& toParent = UniquePipeName())
        : input(DataInputPipe::Create(toParent, true)), output(DataOutputPipe::Create(toChild, true)),
          child({"channel-echo", toChild, toParent})
    {
    }
    boost::intrusive_ptr<IByteDataInputEx> input;
    boost::intrusive_ptr<IByteDataOutputEx> output;
    ChildProcess child;
    std::vector<uint8_t> frames = Pattern(kLargest);
    std::vector<uint8_t> echo = std::vector<uint8_t>(kLargest);
};

TEST(ChannelMemory, HoldsAtMostTwiceItsLargestFrameWhateverTheNumberOfFrames)
{
    EchoPeer peer;
    auto& input = peer.input;
    auto& output = peer.output;
    auto& child = peer.child;
    auto& frames = peer.frames;
    auto& echo = peer.echo;

    const int64_t baseline = g_live.load();
    g_peak.store(baseline);
    auto channel = CommunicationChannel::Create(input, output, true);
    auto exchange = [&](uint64_t size)
    {
        channel->Write(frames.data(), size);
        return channel->Read(echo.data(), echo.size()) == size && MatchesPattern(echo.data(), size, 0);
    };

    ASSERT_TRUE(exchange(kLargest));
    const int64_t afterOne = g_live.load() - baseline;
    // Many frames, small and large, with the largest among them again and again.
    uint64_t size = 1;
    for (int i = 0; i < 1500; ++i)
    {
        size = (size * 2654435761u + 12345) % kLargest + 1;
        ASSERT_TRUE(exchange(i % 100 == 0 ? kLargest : size % (64 << 10) + 1)) << "frame " << i;
    }
    ASSERT_TRUE(exchange(kLargest));
    const int64_t afterMany = g_live.load() - baseline;
    const int64_t peak = g_peak.load() - baseline;

    channel->Write(nullptr, 0);
    EXPECT_EQ(channel->Read(echo.data(), echo.size()), 0u);
    channel.reset();
    input.reset();
    output.reset();
    const int64_t afterRelease = g_live.load() - baseline;
    EXPECT_EQ(child.Wait(), 0);

    std::cout << "largest frame " << kLargest << " B; held after 1 frame " << afterOne
              << " B, after 1502 frames " << afterMany << " B, peak " << peak << " B ("
              << static_cast<double>(peak) / kLargest << " x the largest frame); after release "
              << afterRelease << " B\n";
    EXPECT_LE(peak, 2 * static_cast<int64_t>(kLargest) + kSlack);
    EXPECT_LE(afterMany, 2 * static_cast<int64_t>(kLargest) + kSlack);
    EXPECT_LE(afterMany, afterOne + kSlack);
    EXPECT_LE(afterRelease, kSlack);
}

// Frames that grow one after another: what stays held is still bounded by the largest one.
TEST(ChannelMemory, FramesThatGrowLeaveAtMostTwiceTheLargestHeld)
{
    EchoPeer peer;
    auto& input = peer.input;
    auto& output = peer.output;
    auto& child = peer.child;
    auto& frames = peer.frames;
    auto& echo = peer.echo;

    const int64_t baseline = g_live.load();
    auto channel = CommunicationChannel::Create(input, output, true);
    for (uint64_t size : {kLargest / 4, 3 * kLargest / 4, kLargest})
    {
        channel->Write(frames.data(), size);
        ASSERT_EQ(channel->Read(echo.data(), echo.size()), size);
    }
    const int64_t held = g_live.load() - baseline;
    channel->Write(nullptr, 0);
    EXPECT_EQ(channel->Read(echo.data(), echo.size()), 0u);
    channel.reset();
    EXPECT_EQ(child.Wait(), 0);

    std::cout << "frames of 1, 3 and 4 MiB: held " << held << " B (" << static_cast<double>(held) / kLargest
              << " x the largest frame)\n";
    EXPECT_LE(held, 2 * static_cast<int64_t>(kLargest) + kSlack);
}

} // namespace
