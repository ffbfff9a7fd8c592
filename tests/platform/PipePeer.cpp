// The helper process of the platform tests: the other end of a pipe, or a process whose standard
// handles the test has redirected. It talks only through the Win32 layer, the way the library's
// pipe streams do: overlapped transfers of at most 4096 bytes, each waited for. "ready" goes to the
// standard output once it is set up; the exit status tells the test what happened (0: as expected).
//
//   serve NAME / hold NAME  a duplex server / client (never reading), then wait to be killed
//   echo NAME               a duplex client sending back what arrives until the pipe ends
//   starve NAME             an inbound server whose client (come once a line arrives on the
//                           standard input) cannot be accepted for want of descriptors for 300 ms;
//                           prints the CPU time and the wall time of that wait in microseconds
//   std-probe               status bit 0/1/2 set when the standard input/output/error handle is NULL
//   std-copy                copy the standard input to the standard output until the input ends
//   std-write-gone          write to a standard output whose reader has gone, with SIGPIPE
//                           unblocked, then blocked with one pending: a broken pipe both times,
//                           and the signal state as it was
//   std-write-full          write to a standard output on a full device: the disk is full
//   std-close               close the standard output handle, check that its descriptor stays
//                           taken, then wait for the standard input to end
//   std-close-read          close the standard input handle while another thread is blocked
//                           reading it: the read ends as aborted
#include <Ostrel/Platform/Windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

// One transfer as the pipes make it; false, with the error in `error`, when it fails.
bool Transfer(HANDLE pipe, bool reading, char* buffer, DWORD size, DWORD& moved, DWORD& error)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED record{};
    record.hEvent = event;
    BOOL ok = reading ? ReadFile(pipe, buffer, size, &moved, &record)
                      : WriteFile(pipe, buffer, size, &moved, &record);
    if (ok || GetLastError() == ERROR_IO_PENDING)
    {
        WaitForMultipleObjects(1, &event, FALSE, INFINITE);
        ok = GetOverlappedResult(pipe, &record, &moved, FALSE);
    }
    error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(event);
    return ok != FALSE;
}

// Copies until the input ends (0) or something else fails (11 reading, 12 writing).
int Copy(HANDLE from, HANDLE to)
{
    char buffer[4096];
    for (DWORD got = 0, sent = 0, error = 0;;)
    {
        if (!Transfer(from, true, buffer, sizeof buffer, got, error))
        {
            return error == ERROR_BROKEN_PIPE ? 0 : 11;
        }
        if (!Transfer(to, false, buffer, got, sent, error) || sent != got)
        {
            return 12;
        }
    }
}

void Ready()
{
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
}

HANDLE Open(const std::string& name, bool server, DWORD access = PIPE_ACCESS_DUPLEX)
{
    return server
               ? CreateNamedPipeA(name.c_str(), access | FILE_FLAG_OVERLAPPED, 0, 1, 4096, 4096, 0, nullptr)
               : CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
}

int HoldUntilKilled(HANDLE end)
{
    if (end == INVALID_HANDLE_VALUE)
    {
        return 2;
    }
    Ready();
    pause();
    return 0;
}

long long Microseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

int StarveAccept(const std::string& name)
{
    HANDLE server = Open(name, true, PIPE_ACCESS_INBOUND);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED record{};
    record.hEvent = event;
    // A connect waited for and cancelled while descriptors are still free: what the wait sets up
    // once, and the sanitizers' first checks of each call, need descriptors too.
    ConnectNamedPipe(server, &record);
    WaitForMultipleObjects(1, &event, FALSE, 0);
    CancelIo(server);
    Ready();
    std::string line;
    std::getline(std::cin, line);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = 64;
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
    {
        taken.push_back(fd);
    }
    if (ConnectNamedPipe(server, &record) || GetLastError() != ERROR_IO_PENDING)
    {
        return 3;
    }
    const long long cpu = Microseconds(CLOCK_THREAD_CPUTIME_ID);
    const long long wall = Microseconds(CLOCK_MONOTONIC);
    if (WaitForMultipleObjects(1, &event, FALSE, 300) != WAIT_TIMEOUT)
    {
        return 4;
    }
    std::printf("%lld %lld\n", Microseconds(CLOCK_THREAD_CPUTIME_ID) - cpu,
                Microseconds(CLOCK_MONOTONIC) - wall);
    std::fflush(stdout);
    for (const int fd : taken)
    {
        ::close(fd);
    }
    DWORD moved = 0;
    return WaitForMultipleObjects(1, &event, FALSE, 10000) == WAIT_OBJECT_0 &&
                   GetOverlappedResult(server, &record, &moved, FALSE)
               ? 0
               : 5;
}

int ProbeStdHandles()
{
    int result = 0;
    const DWORD which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i)
    {
        const HANDLE handle = GetStdHandle(which[i]);
        if (handle == INVALID_HANDLE_VALUE)
        {
            return 64;
        }
        result |= handle == nullptr ? 1 << i : 0;
    }
    return result;
}

bool SigpipeIn(bool pendingSet)
{
    sigset_t set;
    sigemptyset(&set);
    pendingSet ? sigpending(&set) : pthread_sigmask(SIG_BLOCK, nullptr, &set);
    return sigismember(&set, SIGPIPE) == 1;
}

int WriteToAFullDevice()
{
    char byte = 'x';
    DWORD moved = 0;
    DWORD error = 0;
    return !Transfer(GetStdHandle(STD_OUTPUT_HANDLE), false, &byte, 1, moved, error) && error == ERROR_DISK_FULL ? 0 : 1;
}

int WriteToAGoneReader()
{
    char byte = 'x';
    for (const bool alreadyPending : {false, true})
    {
        if (alreadyPending)
        {
            sigset_t sigpipe;
            sigemptyset(&sigpipe);
            sigaddset(&sigpipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &sigpipe, nullptr);
            pthread_kill(pthread_self(), SIGPIPE);
        }
        DWORD moved = 0;
        DWORD error = 0;
        if (Transfer(GetStdHandle(STD_OUTPUT_HANDLE), false, &byte, 1, moved, error) ||
            error != ERROR_BROKEN_PIPE)
        {
            return 2;
        }
        if (SigpipeIn(false) != alreadyPending || SigpipeIn(true) != alreadyPending)
        {
            return 3;
        }
    }
    return 0;
}

int CloseStdOutput()
{
    if (!CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE)))
    {
        return 2;
    }
    // The next descriptor opened must not take the number of the standard output.
    if (::open("/dev/null", O_RDONLY) <= STDERR_FILENO)
    {
        return 3;
    }
    for (char c; ::read(STDIN_FILENO, &c, 1) > 0;)
    {
    }
    return 0;
}

// True once the thread is blocked in poll, as the kernel shows it.
bool IsBlockedInPoll(long thread)
{
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    return file >> number && number == SYS_poll;
}

int CloseWhileReading()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD error = 0;
    std::atomic<long> readerThread{0};
    std::thread reader(
        [&]
        {
            readerThread = ::syscall(SYS_gettid);
            char buffer[16];
            DWORD got = 0;
            // Without a record the read blocks until it is done.
            error = ReadFile(input, buffer, sizeof buffer, &got, nullptr) ? ERROR_SUCCESS : GetLastError();
        });
    while (readerThread == 0 || !IsBlockedInPoll(readerThread))
    {
        std::this_thread::yield();
    }
    CloseHandle(input);
    reader.join();
    return error == ERROR_OPERATION_ABORTED ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string name = argc > 2 ? argv[2] : "";
    const std::map<std::string, std::function<int()>> modes = {
        {"serve", [&] { return HoldUntilKilled(Open(name, true)); }},
        {"hold", [&] { return HoldUntilKilled(Open(name, false)); }},
        {"echo",
         [&]
         {
             const HANDLE client = Open(name, false);
             return client == INVALID_HANDLE_VALUE ? 2 : Copy(client, client);
         }},
        {"starve", [&] { return StarveAccept(name); }},
        {"std-probe", ProbeStdHandles},
        {"std-copy", [] { return Copy(GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE)); }},
        {"std-write-gone", WriteToAGoneReader},
        {"std-write-full", WriteToAFullDevice},
        {"std-close", CloseStdOutput},
        {"std-close-read", CloseWhileReading},
    };
    const auto mode = modes.find(argc > 1 ? argv[1] : "");
    return mode != modes.end() ? mode->second() : 100;
}
