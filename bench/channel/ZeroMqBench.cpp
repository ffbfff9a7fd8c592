// The threaded channel against the peer users compare it with: ZeroMQ PAIR sockets over ipc
// between two processes, carrying the same frames as one message each. Built only where libzmq is
// installed. The channel runs over its child (channel_bench_child), ZeroMQ over its own
// (channel_bench_zeromq_child, path in ZEROMQ_BENCH_CHILD); both answer frames the same way.
//
// Frames per second: both send N frames and wait for the acknowledgement of the last, alternating
// which goes first; ratio = channel frames/s / ZeroMQ frames/s, with each child's context switches
// per frame received (vcs_per_frame).
// Round trip: a 64-byte frame sent back by the child, timed one by one, in alternating blocks;
// ratio = channel median / ZeroMQ median (1.0 or less is as fast as ZeroMQ).
#include "channel/ChannelPeer.h"
#include "channel/FramePasses.h"
#include "channel/ZeroMqPair.h"
#include "support/BenchSupport.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

using namespace zelio_bench;

namespace
{

// An endpoint of its own for each child, in the temporary folder.
std::string NewEndpointPath()
{
    static std::atomic<int> count{0};
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("zelio-zmq-" + std::to_string(::getpid()) + "-" + std::to_string(count++));
    return path.string();
}

// The ZeroMQ child, connected to the PAIR socket this side binds.
class ZeroMqPeer
{
public:
    ZeroMqPeer() : m_path(NewEndpointPath()), m_pair("ipc://" + m_path, true)
    {
        const std::string endpoint = "ipc://" + m_path;
        char* argv[] = {const_cast<char*>(ZEROMQ_BENCH_CHILD), const_cast<char*>(endpoint.c_str()), nullptr};
        if (posix_spawn(&m_pid, ZEROMQ_BENCH_CHILD, nullptr, nullptr, argv, environ) != 0)
        {
            std::abort();
        }
    }
    ~ZeroMqPeer()
    {
        m_pair.End();
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    ZeroMqPeer(const ZeroMqPeer&) = delete;
    ZeroMqPeer& operator=(const ZeroMqPeer&) = delete;

    ZeroMqPair& Pair() { return m_pair; }

private:
    std::string m_path;
    ZeroMqPair m_pair;
    pid_t m_pid = -1;
};

void BM_ZeroMqFramesPerSecond(benchmark::State& state)
{
    const uint64_t size = static_cast<uint64_t>(state.range(0));
    // The same passes as the channel's own cases: half a MiB, and at least 2000 frames.
    const uint64_t frames = std::max<uint64_t>(2000, (512u << 10) / size);
    ChannelPeer channelPeer;
    ZeroMqPeer zeroMqPeer;
    std::vector<uint8_t> frame(size, 0x5A);
    PassResult zeroMqTotal;
    PassResult libraryTotal;
    const auto add = [](PassResult& total, const PassResult& pass)
    {
        total.seconds += pass.seconds;
        total.childSwitches += pass.childSwitches;
    };
    bool zeroMqFirst = true;
    for (auto _ : state)
    {
        if (zeroMqFirst)
        {
            add(zeroMqTotal, SendFrames(zeroMqPeer.Pair(), frame, frames, 1));
        }
        add(libraryTotal, SendFrames(*channelPeer.channel, frame, frames, 1));
        if (!zeroMqFirst)
        {
            add(zeroMqTotal, SendFrames(zeroMqPeer.Pair(), frame, frames, 1));
        }
        zeroMqFirst = !zeroMqFirst;
    }
    const double total = static_cast<double>(state.iterations() * frames);
    state.counters["zmq_fps"] = total / zeroMqTotal.seconds;
    state.counters["zelio_fps"] = total / libraryTotal.seconds;
    state.counters["ratio"] = zeroMqTotal.seconds / libraryTotal.seconds;
    state.counters["zmq_vcs_per_frame"] = static_cast<double>(zeroMqTotal.childSwitches) / total;
    state.counters["zelio_vcs_per_frame"] = static_cast<double>(libraryTotal.childSwitches) / total;
}
BENCHMARK(BM_ZeroMqFramesPerSecond)
    ->Arg(64)
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

void BM_ZeroMqRoundTrip64(benchmark::State& state)
{
    ChannelPeer channelPeer;
    ZeroMqPeer zeroMqPeer;
    // The switches counted are this process's: with ZeroMQ's I/O thread, or the channel's reader.
    CompareRoundTrips(state, "zmq", zeroMqPeer.Pair(), *channelPeer.channel);
}
BENCHMARK(BM_ZeroMqRoundTrip64)->Unit(benchmark::kMillisecond)->Iterations(100)->UseRealTime();

} // namespace
