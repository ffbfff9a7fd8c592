// Throughput of a named pipe through the Win32 layer against its floor.
//
// PipeTransferAgainstFloor: 256 MiB go from a server end to a client end in 4096-byte overlapped
// WriteFile / ReadFile calls, each followed by the wait on {interrupt, overlapped event} and
// GetOverlappedResult, exactly as the library's pipe streams make one transfer; writer and reader
// run in two threads. The floor is a plain read/write loop moving the same bytes in the same
// chunks over a Unix socket pair with the kernel's default buffers. Both run in every iteration;
// the counters give both rates, the median of the iterations' ratios (target 0.85 or more) and
// the heap allocations per transfer (target 0).
//
// TransferAtOnceAgainstFloor: one thread writes 4096 bytes and reads them back, over and over, so
// that every transfer completes at once: the layer's whole cost per transfer, without waits and
// without the scheduler, in the thread's CPU time, the fastest of many blocks of each kind.
#include <Ostrel/Platform/Windows.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

std::atomic<std::uint64_t> g_allocations{0};

} // namespace

#if defined(ZELIO_BENCH_SANITIZED)
// The sanitizer owns malloc: only C++ allocations are counted.
static void* Allocate(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size);
}
#else
// Every heap allocation of the process is counted: the C allocator is replaced by one that counts
// and forwards to glibc's own entry points, and operator new goes to it.
extern "C"
{
    void* __libc_malloc(std::size_t size);
    void* __libc_calloc(std::size_t count, std::size_t size);
    void* __libc_realloc(void* memory, std::size_t size);

    void* malloc(std::size_t size)
    {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_malloc(size);
    }
    void* calloc(std::size_t count, std::size_t size)
    {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_calloc(count, size);
    }
    void* realloc(void* memory, std::size_t size)
    {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_realloc(memory, size);
    }
}
static void* Allocate(std::size_t size)
{
    return malloc(size);
}
#endif

void* operator new(std::size_t size)
{
    if (void* memory = Allocate(size != 0 ? size : 1))
    {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace
{

constexpr std::size_t kTotal = std::size_t{256} << 20;
constexpr DWORD kChunk = 4096;
constexpr std::uint64_t kTransfersPerRun = 2 * kTotal / kChunk;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// The floor: blocking read and write on a socket pair with default buffers.
double RunFloor()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    {
        std::abort();
    }
    const auto start = Clock::now();
    std::thread writer(
        [&]
        {
            char buffer[kChunk] = {1};
            for (std::size_t sent = 0; sent < kTotal;)
            {
                const ssize_t n = ::write(fds[0], buffer, kChunk);
                if (n <= 0)
                {
                    std::abort();
                }
                sent += static_cast<std::size_t>(n);
            }
        });
    char buffer[kChunk];
    for (std::size_t received = 0; received < kTotal;)
    {
        const ssize_t n = ::read(fds[1], buffer, kChunk);
        if (n <= 0)
        {
            std::abort();
        }
        received += static_cast<std::size_t>(n);
    }
    writer.join();
    const double seconds = Seconds(Clock::now() - start);
    ::close(fds[0]);
    ::close(fds[1]);
    return seconds;
}

// One transfer the way a pipe stream's ReadRaw / WriteRaw makes it.
class PipeTransfer
{
public:
    explicit PipeTransfer(HANDLE pipe)
        : m_pipe(pipe), m_interrupt(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        m_record.hEvent = m_event;
        // The thread's one-time set-up in the layer is made here, before any timing.
        const HANDLE events[2] = {m_interrupt, m_event};
        WaitForMultipleObjects(2, events, FALSE, 0);
    }
    ~PipeTransfer()
    {
        CloseHandle(m_interrupt);
        CloseHandle(m_event);
    }

    DWORD Move(char* buffer, bool reading)
    {
        DWORD moved = 0;
        ResetEvent(m_interrupt);
        SetLastError(0);
        ResetEvent(m_event);
        m_record.Offset = 0;
        m_record.OffsetHigh = 0;
        const BOOL ok = reading ? ReadFile(m_pipe, buffer, kChunk, &moved, &m_record)
                                : WriteFile(m_pipe, buffer, kChunk, &moved, &m_record);
        if (!ok && GetLastError() != ERROR_IO_PENDING)
        {
            std::abort();
        }
        const HANDLE events[2] = {m_interrupt, m_event};
        WaitForMultipleObjects(2, events, FALSE, INFINITE);
        SetLastError(0);
        if (!GetOverlappedResult(m_pipe, &m_record, &moved, FALSE))
        {
            std::abort();
        }
        return moved;
    }

private:
    HANDLE m_pipe;
    HANDLE m_interrupt;
    HANDLE m_event;
    OVERLAPPED m_record{};
};

// The layer: a server end writing, a client end reading. Adds the allocations made while the
// bytes move to `allocations`.
double RunLayer(std::uint64_t& allocations)
{
    static int run = 0;
    const std::string name = "\\\\.\\pipe\\bench-" + std::to_string(::getpid()) + "-" + std::to_string(run++);
    const HANDLE server =
        CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    const HANDLE client =
        CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (server == INVALID_HANDLE_VALUE || client == INVALID_HANDLE_VALUE)
    {
        std::abort();
    }
    // The writer is a thread of its own, the reader this thread, as in the floor.
    std::atomic<bool> ready{false};
    std::atomic<bool> go{false};
    std::thread writer(
        [&]
        {
            PipeTransfer transfer(server);
            char buffer[kChunk] = {1};
            ready.store(true);
            while (!go.load())
            {
            }
            for (std::size_t sent = 0; sent < kTotal;)
            {
                sent += transfer.Move(buffer, false);
            }
        });
    PipeTransfer transfer(client);
    char buffer[kChunk];
    while (!ready.load())
    {
    }
    const std::uint64_t allocationsBefore = g_allocations.load();
    const auto start = Clock::now();
    go.store(true);
    for (std::size_t received = 0; received < kTotal;)
    {
        received += transfer.Move(buffer, true);
    }
    writer.join();
    const double seconds = Seconds(Clock::now() - start);
    allocations += g_allocations.load() - allocationsBefore;
    CloseHandle(client);
    CloseHandle(server);
    return seconds;
}

void PipeTransferAgainstFloor(benchmark::State& state)
{
    double floorSeconds = 0;
    double layerSeconds = 0;
    std::vector<double> ratios;
    std::uint64_t allocations = 0;
    for (auto _ : state)
    {
        // Each pair runs back to back, alternating which goes first, so that both meet the same
        // machine; the median of the pairs' ratios ignores a pair that another process disturbed.
        double floor = 0;
        double layer = 0;
        if (ratios.size() % 2 == 0)
        {
            floor = RunFloor();
            layer = RunLayer(allocations);
        }
        else
        {
            layer = RunLayer(allocations);
            floor = RunFloor();
        }
        floorSeconds += floor;
        layerSeconds += layer;
        ratios.push_back(floor / layer);
    }
    std::sort(ratios.begin(), ratios.end());
    const std::size_t runs = ratios.size();
    const double mebibytes = static_cast<double>(runs * (kTotal >> 20));
    state.counters["floor_MiB/s"] = mebibytes / floorSeconds;
    state.counters["layer_MiB/s"] = mebibytes / layerSeconds;
    state.counters["ratio"] =
        runs % 2 == 1 ? ratios[runs / 2] : (ratios[runs / 2 - 1] + ratios[runs / 2]) / 2;
    state.counters["allocs/transfer"] =
        static_cast<double>(allocations) / static_cast<double>(runs * kTransfersPerRun);
}

BENCHMARK(PipeTransferAgainstFloor)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr int kRoundTrips = 20000;
constexpr int kBlocks = 20;

// The calling thread's CPU time: time taken from it by other processes does not count.
double ThreadSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// kRoundTrips writes and reads of 4096 bytes, each pair through `roundTrip`; seconds per transfer.
template <class RoundTrip> double TimeRoundTrips(RoundTrip&& roundTrip)
{
    const double start = ThreadSeconds();
    for (int i = 0; i < kRoundTrips; ++i)
    {
        roundTrip();
    }
    return (ThreadSeconds() - start) / (2.0 * kRoundTrips);
}

// Alternates blocks of raw calls and of layer calls on one thread and keeps the fastest block of
// each: the least disturbed by the rest of the machine.
void TransferAtOnceAgainstFloor(benchmark::State& state)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    {
        std::abort();
    }
    const std::string name = "\\\\.\\pipe\\bench-once-" + std::to_string(::getpid());
    const HANDLE server =
        CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    const HANDLE client =
        CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (server == INVALID_HANDLE_VALUE || client == INVALID_HANDLE_VALUE)
    {
        std::abort();
    }
    double floorBest = 1;
    double layerBest = 1;
    {
        PipeTransfer writing(server);
        PipeTransfer reading(client);
        char buffer[kChunk] = {1};
        const auto raw = [&]
        {
            if (::write(fds[0], buffer, kChunk) != kChunk || ::read(fds[1], buffer, kChunk) != kChunk)
            {
                std::abort();
            }
        };
        const auto layer = [&]
        {
            if (writing.Move(buffer, false) != kChunk || reading.Move(buffer, true) != kChunk)
            {
                std::abort();
            }
        };
        for (auto _ : state)
        {
            for (int block = 0; block < kBlocks; ++block)
            {
                floorBest = std::min(floorBest, TimeRoundTrips(raw));
                layerBest = std::min(layerBest, TimeRoundTrips(layer));
            }
        }
    }
    CloseHandle(client);
    CloseHandle(server);
    ::close(fds[0]);
    ::close(fds[1]);
    state.counters["floor_ns_per_transfer"] = floorBest * 1e9;
    state.counters["layer_ns_per_transfer"] = layerBest * 1e9;
    state.counters["ratio"] = floorBest / layerBest;
}

BENCHMARK(TransferAtOnceAgainstFloor)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
