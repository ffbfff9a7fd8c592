// Threaded channels between two processes over the pipes against their floor: the same frames
// over a raw Unix socket pair, with a reader thread handing each frame to the consumer through a
// mutex and two condition variables (SocketFrames). The child (channel_bench_child) serves both.
//
// Frames per second: this process writes N frames through the channel, the child's threaded
// channel reads them and acknowledges the last; the floor does the same over its socket. Both
// run in every iteration; ratio = library frames/s / floor frames/s. The child reports the
// context switches its process made per frame received (vcs_per_frame), for each side. With four
// writers, four threads share the N frames on one channel (the floor serialises its writes with
// a mutex).
// Round trip: a 64-byte frame sent back by the child, timed one by one, in alternating blocks;
// ratio = library median / floor median (1.0 or less is as fast as the floor).
#include <Ostrel/Core/CommunicationChannel.h>

#include "channel/ChannelPeer.h"
#include "channel/FramePasses.h"
#include "support/BenchSupport.h"

#include <algorithm>
#include <mutex>
#include <vector>

using namespace Ostrel::Core;
using namespace zelio_bench;

namespace
{

// The floor with its writes serialised, for the cases with several writers.
struct LockedFloor
{
    SocketFrames& floor;
    std::mutex mutex;
    void Write(const uint8_t* data, uint64_t size)
    {
        std::lock_guard<std::mutex> lock(mutex);
        floor.Write(data, size);
    }
    uint64_t Read(uint8_t* data, uint64_t size) { return floor.Read(data, size); }
};

// Streams that take every byte and give none, so that only the channel's own work is timed.
class NullStream : public virtual IByteDataInput, public virtual IByteDataOutput
{
public:
    unsigned int AddRef() const override { return ++m_references; }
    unsigned int GetRefCount() const override { return m_references; }
    unsigned int Release() const override { return --m_references; }
    uint64_t Read(uint8_t*, uint64_t) override { return 0; }
    uint64_t Write(const uint8_t* data, uint64_t size) override
    {
        benchmark::DoNotOptimize(data);
        bytes += size;
        return size;
    }
    void Cancel() override {}
    uint64_t bytes = 0;

private:
    mutable unsigned int m_references = 1;
};

// Seconds per frame that a channel's Write takes over streams that discard: its own work.
double ChannelWriteSeconds(uint64_t size)
{
    constexpr int kFrames = 20000;
    NullStream sink;
    boost::intrusive_ptr<IByteDataInput> input(&sink);
    boost::intrusive_ptr<IByteDataOutput> output(&sink);
    auto channel = CommunicationChannel::Create(input, output, false);
    std::vector<uint8_t> frame(size, 0x5A);
    const auto start = Clock::now();
    for (int i = 0; i < kFrames; ++i)
    {
        channel->Write(frame.data(), frame.size());
    }
    return Seconds(Clock::now() - start) / kFrames;
}

void RunFrames(benchmark::State& state, int writers)
{
    const uint64_t size = static_cast<uint64_t>(state.range(0));
    // Half a MiB, and at least 2000 frames, per pass.
    const uint64_t frames = std::max<uint64_t>(2000, (512u << 10) / size);
    ChannelPeer peer;
    LockedFloor floor{*peer.floor, {}};
    std::vector<uint8_t> frame(size, 0x5A);
    PassResult floorTotal;
    PassResult libraryTotal;
    uint64_t allocations = 0;
    for (auto _ : state)
    {
        const PassResult floorPass = writers == 1 ? SendFrames(*peer.floor, frame, frames, 1)
                                                  : SendFrames(floor, frame, frames, writers);
        const uint64_t before = zelio_bench::AllocationCount();
        const PassResult libraryPass = SendFrames(*peer.channel, frame, frames, writers);
        allocations += zelio_bench::AllocationCount() - before;
        floorTotal.seconds += floorPass.seconds;
        floorTotal.childSwitches += floorPass.childSwitches;
        libraryTotal.seconds += libraryPass.seconds;
        libraryTotal.childSwitches += libraryPass.childSwitches;
    }
    const double total = static_cast<double>(state.iterations() * frames);
    state.counters["floor_fps"] = total / floorTotal.seconds;
    state.counters["zelio_fps"] = total / libraryTotal.seconds;
    state.counters["ratio"] = floorTotal.seconds / libraryTotal.seconds;
    state.counters["floor_vcs_per_frame"] = static_cast<double>(floorTotal.childSwitches) / total;
    state.counters["zelio_vcs_per_frame"] = static_cast<double>(libraryTotal.childSwitches) / total;
    if (writers == 1)
    {
        // This side's allocations only: its writes, and the reader thread's acknowledgements.
        state.counters["allocs_per_frame"] = static_cast<double>(allocations) / total;
        state.counters["write_share"] = ChannelWriteSeconds(size) / (libraryTotal.seconds / total);
    }
}

void BM_ChannelFramesPerSecond(benchmark::State& state)
{
    RunFrames(state, 1);
}
BENCHMARK(BM_ChannelFramesPerSecond)
    ->Arg(64)
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

void BM_ChannelFourWriters(benchmark::State& state)
{
    RunFrames(state, 4);
}
BENCHMARK(BM_ChannelFourWriters)
    ->Arg(64)
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

void BM_ChannelRoundTrip64(benchmark::State& state)
{
    ChannelPeer peer;
    // The switches counted are this process's: the writer, and the reader thread that takes the echo.
    CompareRoundTrips(state, "floor", *peer.floor, *peer.channel);
}
BENCHMARK(BM_ChannelRoundTrip64)->Unit(benchmark::kMillisecond)->Iterations(100)->UseRealTime();

} // namespace
