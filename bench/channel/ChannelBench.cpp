// Threaded channels between two processes over the pipes against their floor: the same frames
// over a raw Unix socket pair, with a reader thread handing each frame to the consumer through a
// mutex and two condition variables (SocketFrames). The child (channel_bench_child) serves both.
//
// Frames per second: this process writes N frames through the channel, the child's threaded
// channel reads them and acknowledges the last; the floor does the same over its socket. Both
// run in every iteration; ratio = library frames/s / floor frames/s (target 0.8 or more).
// Round trip: a 64-byte frame sent back by the child, timed one by one, in alternating blocks;
// ratio = library median / floor median (target 1.25 or less).
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IPCTools.h>

#include "channel/SocketFrames.h"
#include "support/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
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

// Sends frames - 1 data frames and a last one, then waits for the acknowledgement.
template <class Side> double SendFrames(Side& side, std::vector<uint8_t>& frame, uint64_t frames)
{
    uint8_t ack = 0;
    const auto start = Clock::now();
    frame[0] = 'D';
    for (uint64_t i = 1; i < frames; ++i)
    {
        side.Write(frame.data(), frame.size());
    }
    frame[0] = 'L';
    side.Write(frame.data(), frame.size());
    if (side.Read(&ack, 1) != 1 || ack != 'A')
    {
        std::abort();
    }
    return Seconds(Clock::now() - start);
}

void BM_ChannelFramesPerSecond(benchmark::State& state)
{
    const uint64_t size = static_cast<uint64_t>(state.range(0));
    // Half a MiB, and at least 2000 frames, per pass.
    const uint64_t frames = std::max<uint64_t>(2000, (512u << 10) / size);
    Peer peer;
    std::vector<uint8_t> frame(size, 0x5A);
    double floorSeconds = 0;
    double librarySeconds = 0;
    uint64_t allocations = 0;
    for (auto _ : state)
    {
        floorSeconds += SendFrames(*peer.floor, frame, frames);
        const uint64_t before = zelio_bench::AllocationCount();
        librarySeconds += SendFrames(*peer.channel, frame, frames);
        allocations += zelio_bench::AllocationCount() - before;
    }
    const double total = static_cast<double>(state.iterations() * frames);
    state.counters["floor_fps"] = total / floorSeconds;
    state.counters["zelio_fps"] = total / librarySeconds;
    state.counters["ratio"] = floorSeconds / librarySeconds;
    // This side's allocations only: its writes, and the reader thread's acknowledgements.
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / total;
}
BENCHMARK(BM_ChannelFramesPerSecond)
    ->Arg(64)
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

template <class Side>
void Ping(Side& side, std::vector<uint8_t>& frame, std::vector<uint8_t>& echo, std::vector<double>& micros,
          int count)
{
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
    for (auto _ : state)
    {
        Ping(*peer.floor, frame, echo, floorMicros, kBlock);
        Ping(*peer.channel, frame, echo, libraryMicros, kBlock);
    }
    const double floorMedian = Median(floorMicros);
    const double libraryMedian = Median(libraryMicros);
    state.counters["floor_median_us"] = floorMedian;
    state.counters["zelio_median_us"] = libraryMedian;
    state.counters["floor_p99_us"] = Percentile99(floorMicros);
    state.counters["zelio_p99_us"] = Percentile99(libraryMicros);
    state.counters["ratio"] = libraryMedian / floorMedian;
}
BENCHMARK(BM_ChannelRoundTrip64)->Unit(benchmark::kMillisecond)->Iterations(100)->UseRealTime();

} // namespace
