// Pipe streams against the Unix socket they travel on.
//
// The floor of every case is a plain read/write loop over socketpair(AF_UNIX, SOCK_STREAM) with
// the kernel's default buffers, moving the same bytes in the same 4096-byte chunks with the same
// threads (or processes) as the library's case; both run in every iteration, alternating which
// goes first. Streams, sockets, threads and the peer process are made before the timed passes, so
// that a pass holds only the transfers, and allocs_per_call counts only what the transfer calls
// allocate.
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IPCTools.h>

#include "support/BenchSupport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_bench::Comparison;

namespace
{

constexpr uint64_t kChunk = 4096;
// The largest call of the two-thread case: a 64 KiB call makes sixteen 4096-byte transfers.
constexpr uint64_t kLargestChunk = 65536;
constexpr uint64_t kTotal = uint64_t{256} << 20;
constexpr uint64_t kDuplexEachWay = uint64_t{128} << 20;

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what)
{
    std::perror(what);
    std::abort();
}

uint64_t Chunk(uint64_t remaining, uint64_t chunk = kChunk)
{
    return remaining < chunk ? remaining : chunk;
}

// The floor's loops: blocking read and write on a socket, 4096 bytes a call unless told.
void SendAll(int fd, const uint8_t* buffer, uint64_t total, uint64_t chunk = kChunk)
{
    for (uint64_t sent = 0; sent < total;)
    {
        const ssize_t n = ::write(fd, buffer, Chunk(total - sent, chunk));
        if (n <= 0)
        {
            Fail("socket write");
        }
        sent += static_cast<uint64_t>(n);
    }
}

void ReceiveAll(int fd, uint8_t* buffer, uint64_t total, uint64_t chunk = kChunk)
{
    for (uint64_t received = 0; received < total;)
    {
        const ssize_t n = ::read(fd, buffer, Chunk(total - received, chunk));
        if (n <= 0)
        {
            Fail("socket read");
        }
        received += static_cast<uint64_t>(n);
    }
}

// The library's loops: the same chunks through a stream's Write and Read.
void SendAll(IByteDataOutput& output, const uint8_t* buffer, uint64_t total, uint64_t chunk = kChunk)
{
    for (uint64_t sent = 0; sent < total;)
    {
        const uint64_t n = output.Write(buffer, Chunk(total - sent, chunk));
        if (n == 0)
        {
            Fail("pipe write");
        }
        sent += n;
    }
}

void ReceiveAll(IByteDataInput& input, uint8_t* buffer, uint64_t total, uint64_t chunk = kChunk)
{
    for (uint64_t received = 0; received < total;)
    {
        const uint64_t n = input.Read(buffer, Chunk(total - received, chunk));
        if (n == 0)
        {
            Fail("pipe read");
        }
        received += n;
    }
}

// A thread made ahead of a timed pass, held until the pass starts it: its creation is neither
// timed nor counted as an allocation of the pass.
class HeldThread
{
public:
    template <class Body>
    explicit HeldThread(Body body)
        : m_thread(
              [this, body]
              {
                  {
                      std::unique_lock<std::mutex> lock(m_mutex);
                      m_wake.wait(lock, [this] { return m_started; });
                  }
                  body();
              })
    {
    }

    void Start()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_started = true;
        }
        m_wake.notify_one();
    }

    void Join() { m_thread.join(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_started = false;
    std::thread m_thread;
};

struct SocketPair
{
    SocketPair()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0)
        {
            Fail("socketpair");
        }
    }
    ~SocketPair()
    {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;

    int fd[2];
};

// Runs the floor pass and the library pass of one iteration, alternating which goes first.
template <class Floor, class Library>
void RunBoth(Comparison& comparison, uint64_t iteration, uint64_t libraryCalls, Floor&& floor,
             Library&& library)
{
    if (iteration % 2 == 0)
    {
        comparison.TimeFloor(floor);
        comparison.TimeLibrary(libraryCalls, library);
    }
    else
    {
        comparison.TimeLibrary(libraryCalls, library);
        comparison.TimeFloor(floor);
    }
}

// 256 MiB from a server DataOutputPipe to a client DataInputPipe, Default protocols, calls of the
// argument's size (the floor's socket calls too); writer in a thread of its own, reader in the
// benchmark's thread.
void BM_PipeTwoThreads(benchmark::State& state)
{
    const auto chunk = static_cast<uint64_t>(state.range(0));
    const std::string name = GeneratePipeName();
    auto output = DataOutputPipe::Create(name, true);
    auto input = DataInputPipe::Create(name, false);
    static uint8_t writeBuffer[kLargestChunk];
    static uint8_t readBuffer[kLargestChunk];
    std::memset(writeBuffer, 0x5A, sizeof writeBuffer);
    // The server end's first write accepts the client: done here, outside the timed passes.
    if (output->Write(writeBuffer, kChunk) != kChunk || input->Read(readBuffer, kChunk) != kChunk)
    {
        Fail("first pipe transfer");
    }
    SocketPair sockets;

    Comparison comparison;
    uint64_t iteration = 0;
    for (auto _ : state)
    {
        HeldThread socketWriter([&] { SendAll(sockets.fd[0], writeBuffer, kTotal, chunk); });
        HeldThread pipeWriter([&] { SendAll(*output, writeBuffer, kTotal, chunk); });
        RunBoth(
            comparison, iteration++, 2 * kTotal / chunk,
            [&]
            {
                socketWriter.Start();
                ReceiveAll(sockets.fd[1], readBuffer, kTotal, chunk);
                socketWriter.Join();
            },
            [&]
            {
                pipeWriter.Start();
                ReceiveAll(*input, readBuffer, kTotal, chunk);
                pipeWriter.Join();
            });
    }
    comparison.Report(state, kTotal);
}
BENCHMARK(BM_PipeTwoThreads)
    ->Arg(kChunk)
    ->Arg(kLargestChunk)
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The peer process of the two-process case (pipe_bench_peer): it holds the client end of the pipe
// and one end of a socket pair, and moves the bytes of a pass when told to.
class PeerProcess
{
public:
    PeerProcess(bool peerReads, const std::string& pipeName, int socketEnd)
    {
        int command[2];
        int reply[2];
        if (::pipe2(command, O_CLOEXEC) != 0 || ::pipe2(reply, O_CLOEXEC) != 0)
        {
            Fail("pipe2");
        }
        m_command = command[1];
        m_reply = reply[0];
        // The child's ends are moved above the descriptors they go to, so that each dup2 below
        // makes a new descriptor (one without close-on-exec); everything else stays behind.
        const int childEnds[3] = {command[0], reply[1], socketEnd};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int moved[3];
        for (int i = 0; i < 3; ++i)
        {
            moved[i] = ::fcntl(childEnds[i], F_DUPFD_CLOEXEC, 10);
            if (moved[i] < 0)
            {
                Fail("fcntl");
            }
            posix_spawn_file_actions_adddup2(&actions, moved[i], 3 + i);
        }
        const std::string bytes = std::to_string(kTotal);
        char* argv[] = {const_cast<char*>(ZELIO_PIPE_BENCH_PEER),
                        const_cast<char*>(peerReads ? "read" : "write"), const_cast<char*>(bytes.c_str()),
                        const_cast<char*>(pipeName.c_str()), nullptr};
        if (posix_spawn(&m_pid, ZELIO_PIPE_BENCH_PEER, &actions, nullptr, argv, environ) != 0)
        {
            Fail("posix_spawn");
        }
        posix_spawn_file_actions_destroy(&actions);
        for (int fd : moved)
        {
            ::close(fd);
        }
        ::close(command[0]);
        ::close(reply[1]);
    }

    ~PeerProcess()
    {
        Send('Q');
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        ::close(m_command);
        ::close(m_reply);
    }

    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    void Send(char command)
    {
        if (::write(m_command, &command, 1) != 1)
        {
            Fail("command to the peer");
        }
    }

    // Waits for the peer's 'R', sent once it has moved its first chunk through the pipe.
    void AwaitReady()
    {
        char ready = 0;
        if (::read(m_reply, &ready, 1) != 1 || ready != 'R')
        {
            Fail("peer start");
        }
    }

    // Waits for the end of the peer's pass; returns the allocations it made during the pass.
    uint64_t AwaitPass()
    {
        uint64_t allocations = 0;
        if (::read(m_reply, &allocations, sizeof allocations) != sizeof allocations)
        {
            Fail("peer pass");
        }
        return allocations;
    }

private:
    pid_t m_pid = -1;
    int m_command = -1;
    int m_reply = -1;
};

// The same 256 MiB between two processes: this one holds the server end, the peer the client end.
// Argument 0: this process writes and the peer reads; 1: the peer writes and this process reads.
// A pass ends when both sides are done.
void BM_PipeTwoProcesses(benchmark::State& state)
{
    const bool peerReads = state.range(0) == 0;
    const std::string name = GeneratePipeName();
    boost::intrusive_ptr<IByteDataOutputEx> output;
    boost::intrusive_ptr<IByteDataInputEx> input;
    if (peerReads)
    {
        output = DataOutputPipe::Create(name, true);
    }
    else
    {
        input = DataInputPipe::Create(name, true);
    }
    SocketPair sockets;
    PeerProcess peer(peerReads, name, sockets.fd[1]);
    static uint8_t buffer[kChunk];
    std::memset(buffer, 0x5A, sizeof buffer);
    // The first chunk lets the server end accept the peer.
    const uint64_t first = peerReads ? output->Write(buffer, kChunk) : input->Read(buffer, kChunk);
    if (first != kChunk)
    {
        Fail("first pipe transfer");
    }
    peer.AwaitReady();

    Comparison comparison;
    uint64_t iteration = 0;
    uint64_t peerAllocations = 0;
    for (auto _ : state)
    {
        RunBoth(
            comparison, iteration++, kTotal / kChunk,
            [&]
            {
                peer.Send('S');
                peerReads ? SendAll(sockets.fd[0], buffer, kTotal)
                          : ReceiveAll(sockets.fd[0], buffer, kTotal);
                peer.AwaitPass();
            },
            [&]
            {
                peer.Send('P');
                peerReads ? SendAll(*output, buffer, kTotal) : ReceiveAll(*input, buffer, kTotal);
                peerAllocations += peer.AwaitPass();
            });
    }
    comparison.Report(state, kTotal);
    state.counters["peer_allocs_per_call"] =
        static_cast<double>(peerAllocations) / static_cast<double>(state.iterations() * (kTotal / kChunk));
}
BENCHMARK(BM_PipeTwoProcesses)
    ->ArgName("peer_writes")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Seconds from `start` to the instant stored in `done`.
double Since(Clock::time_point start, const std::atomic<Clock::rep>& done)
{
    return std::chrono::duration<double>(Clock::duration(done.load()) - start.time_since_epoch()).count();
}

void MarkDone(std::atomic<Clock::rep>& done)
{
    done.store(Clock::now().time_since_epoch().count());
}

// Both directions of a duplex pipe at once, Raw protocols: the server end writes 128 MiB to the
// client while the client writes 128 MiB to the server, one thread for each of the four loops.
// Each direction's time runs from the start of the pass to the end of its reader; ratio_down
// (server to client) and ratio_up (client to server) compare each with the same direction of the
// floor, a socket pair carrying both directions at once.
void BM_DuplexBothWays(benchmark::State& state)
{
    const std::string name = GeneratePipeName();
    uint64_t bufferSize = 0;
    // The server end makes no connect step: the client opens the pipe before any transfer.
    auto server = DataInputOutputPipe::Create(name, true, bufferSize);
    auto client = DataInputOutputPipe::Create(name, false, bufferSize);
    static uint8_t serverOut[kChunk];
    static uint8_t serverIn[kChunk];
    static uint8_t clientOut[kChunk];
    static uint8_t clientIn[kChunk];
    std::memset(serverOut, 0x5A, kChunk);
    std::memset(clientOut, 0xA5, kChunk);
    // One chunk each way first, before the threads.
    SendAll(*server, serverOut, kChunk);
    ReceiveAll(*client, clientIn, kChunk);
    SendAll(*client, clientOut, kChunk);
    ReceiveAll(*server, serverIn, kChunk);
    SocketPair sockets;

    Comparison comparison;
    double floorDown = 0;
    double floorUp = 0;
    double libraryDown = 0;
    double libraryUp = 0;
    uint64_t iteration = 0;
    for (auto _ : state)
    {
        std::atomic<Clock::rep> downDone{0};
        std::atomic<Clock::rep> upDone{0};
        Clock::time_point start;

        // Runs the four loops of a pass: three held threads and this one (the server end's reader).
        const auto pass = [&](HeldThread& serverWriter, HeldThread& clientReader, HeldThread& clientWriter,
                              auto&& serverRead, double& down, double& up)
        {
            start = Clock::now();
            serverWriter.Start();
            clientReader.Start();
            clientWriter.Start();
            serverRead();
            MarkDone(upDone);
            serverWriter.Join();
            clientReader.Join();
            clientWriter.Join();
            down += Since(start, downDone);
            up += Since(start, upDone);
        };

        HeldThread socketServerWriter([&] { SendAll(sockets.fd[0], serverOut, kDuplexEachWay); });
        HeldThread socketClientReader(
            [&]
            {
                ReceiveAll(sockets.fd[1], clientIn, kDuplexEachWay);
                MarkDone(downDone);
            });
        HeldThread socketClientWriter([&] { SendAll(sockets.fd[1], clientOut, kDuplexEachWay); });
        HeldThread pipeServerWriter([&] { SendAll(*server, serverOut, kDuplexEachWay); });
        HeldThread pipeClientReader(
            [&]
            {
                ReceiveAll(*client, clientIn, kDuplexEachWay);
                MarkDone(downDone);
            });
        HeldThread pipeClientWriter([&] { SendAll(*client, clientOut, kDuplexEachWay); });

        // At least one Read or Write call per chunk, in each of the four loops.
        RunBoth(
            comparison, iteration++, 4 * kDuplexEachWay / kChunk,
            [&]
            {
                pass(
                    socketServerWriter, socketClientReader, socketClientWriter,
                    [&] { ReceiveAll(sockets.fd[0], serverIn, kDuplexEachWay); }, floorDown, floorUp);
            },
            [&]
            {
                pass(
                    pipeServerWriter, pipeClientReader, pipeClientWriter,
                    [&] { ReceiveAll(*server, serverIn, kDuplexEachWay); }, libraryDown, libraryUp);
            });
    }
    comparison.Report(state, 2 * kDuplexEachWay);
    state.counters["ratio_down"] = floorDown / libraryDown;
    state.counters["ratio_up"] = floorUp / libraryUp;
}
BENCHMARK(BM_DuplexBothWays)->Iterations(6)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
