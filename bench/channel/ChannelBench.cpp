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
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IPCTools.h>

#include "channel/SocketFrames.h"
#include "support/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using namespace Ostrel::Core;
using zelio_bench::SocketFrames;

namespace
{

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// The child with its two pipes and its socket, and this side's channel and floor over them.
class Peer
{
public:
    Peer()
    {
        const std::string toChild = GeneratePipeName();
        const std::string toParent = GeneratePipeName();
        auto output = DataOutputPipe::Create(toChild, true);
        auto input = DataInputPipe::Create(toParent, true);
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        {
            std::abort();
        }
        std::vector<std::string> args{CHANNEL_BENCH_CHILD, toChild, toParent};
        std::vector<char*> argv;
        for (auto& arg : args)
        {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        {
            std::abort();
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        channel = CommunicationChannel::Create(input, output, true);
        floor = std::make_unique<SocketFrames>(fds[0]);
    }
    ~Peer()
    {
        floor.reset();
        channel->Write(nullptr, 0);
        uint8_t byte;
        while (channel->Read(&byte, 1) != 0)
        {
        }
        channel.reset();
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }

    boost::intrusive_ptr<IDataChannel> channel;
    std::unique_ptr<SocketFrames> floor;

private:
    pid_t m_pid = -1;
};

struct PassResult
{
    double seconds = 0;
    uint64_t childSwitches = 0;
};

// Sends the data frames of one pass from writers threads (this one when writers is 1).
template <class Side>
void SendDataFrames(Side& side, const std::vector<uint8_t>& frame, uint64_t count, int writers)
{
    if (writers == 1)
    {
        for (uint64_t i = 0; i < count; ++i)
        {
            side.Write(frame.data(), frame.size());
        }
        return;
    }
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
    {
        const uint64_t share = count / writers + (static_cast<uint64_t>(w) < count % writers ? 1 : 0);
        threads.emplace_back(
            [&side, &frame, share]
            {
                for (uint64_t i = 0; i < share; ++i)
                {
                    side.Write(frame.data(), frame.size());
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
}

// Sends frames - 1 data frames and a last one, then waits for the acknowledgement, which carries
// the child's context switches during the pass.
template <class Side>
PassResult SendFrames(Side& side, std::vector<uint8_t>& frame, uint64_t frames, int writers)
{
    uint8_t ack[9] = {};
    const auto start = Clock::now();
    frame[0] = 'D';
    SendDataFrames(side, frame, frames - 1, writers);
    frame[0] = 'L';
    side.Write(frame.data(), frame.size());
    if (side.Read(ack, sizeof ack) != sizeof ack || ack[0] != 'A')
    {
        std::abort();
    }
    return {Seconds(Clock::now() - start), zelio_bench::DecodeLength(ack + 1)};
}

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
    Peer peer;
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

template <class Side>
uint64_t Ping(Side& side, std::vector<uint8_t>& frame, std::vector<uint8_t>& echo,
              std::vector<double>& micros, int count)
{
    const uint64_t switches = zelio_bench::VoluntarySwitches();
    for (int i = 0; i < count; ++i)
    {
        const auto start = Clock::now();
        side.Write(frame.data(), frame.size());
        if (side.Read(echo.data(), echo.size()) != frame.size())
        {
            std::abort();
        }
        micros.push_back(Seconds(Clock::now() - start) * 1e6);
    }
    return zelio_bench::VoluntarySwitches() - switches;
}

double Median(std::vector<double>& values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile99(const std::vector<double>& sorted)
{
    return sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
}

void BM_ChannelRoundTrip64(benchmark::State& state)
{
    constexpr int kBlock = 100;
    Peer peer;
    std::vector<uint8_t> frame(64, 0x11);
    frame[0] = 'P';
    std::vector<uint8_t> echo(64);
    std::vector<double> floorMicros;
    std::vector<double> libraryMicros;
    // A few round trips first, so that neither side's first frames are counted.
    Ping(*peer.floor, frame, echo, floorMicros, 50);
    Ping(*peer.channel, frame, echo, libraryMicros, 50);
    floorMicros.clear();
    libraryMicros.clear();
    uint64_t floorSwitches = 0;
    uint64_t librarySwitches = 0;
    for (auto _ : state)
    {
        floorSwitches += Ping(*peer.floor, frame, echo, floorMicros, kBlock);
        librarySwitches += Ping(*peer.channel, frame, echo, libraryMicros, kBlock);
    }
    const double floorMedian = Median(floorMicros);
    const double libraryMedian = Median(libraryMicros);
    state.counters["floor_median_us"] = floorMedian;
    state.counters["zelio_median_us"] = libraryMedian;
    state.counters["floor_p99_us"] = Percentile99(floorMicros);
    state.counters["zelio_p99_us"] = Percentile99(libraryMicros);
    state.counters["ratio"] = libraryMedian / floorMedian;
    // This process's switches (the writer, and the reader thread that takes the echo).
    state.counters["floor_vcs_per_trip"] = static_cast<double>(floorSwitches) / floorMicros.size();
    state.counters["zelio_vcs_per_trip"] = static_cast<double>(librarySwitches) / libraryMicros.size();
}
BENCHMARK(BM_ChannelRoundTrip64)->Unit(benchmark::kMillisecond)->Iterations(100)->UseRealTime();

} // namespace
