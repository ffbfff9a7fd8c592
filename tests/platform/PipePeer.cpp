// The helper process of the platform tests: the other end of a pipe, or a process whose standard
// handles the test has redirected. It talks only through the Win32 layer, the way the library's
// pipe streams do: overlapped transfers of at most 4096 bytes, each waited for.
//
//   serve NAME        create a duplex server, print "ready", wait to be killed
//   hold NAME         open a duplex client, print "ready", wait to be killed (never reads)
//   echo NAME         open a duplex client and send back what arrives until the pipe ends
//   starve NAME       create an inbound server, print "ready", wait for a line on the standard
//                     input (the client has come), take every descriptor left, wait 300 ms for the
//                     connect, then give the descriptors back and let it finish; prints the CPU
//                     time and the wall time of the first wait in microseconds
//   std-probe         exit status: bit 0/1/2 set when the standard input/output/error handle is NULL
//   std-copy          copy the standard input to the standard output until the input ends
//   std-close         close the standard output handle, check that its descriptor stays taken,
//                     then wait for the standard input to end
//   std-close-read    block in a read of the standard input on one thread, close the handle on
//                     another; exit 0 when the read ends as aborted
#include <Ostrel/Platform/Windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/resource.h>
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

// Copies until the input ends (0) or something else fails (10 + the failing step).
int Copy(HANDLE from, HANDLE to)
{
    char buffer[4096];
    for (;;)
    {
        DWORD got = 0;
        DWORD error = 0;
        if (!Transfer(from, true, buffer, sizeof buffer, got, error))
        {
            return error == ERROR_BROKEN_PIPE ? 0 : 11;
        }
        DWORD sent = 0;
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

int Serve(const std::string& name)
{
    HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, 0, 1, 4096,
                                     4096, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE)
    {
        return 2;
    }
    Ready();
    pause();
    return 0;
}

int Hold(const std::string& name)
{
    HANDLE client = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (client == INVALID_HANDLE_VALUE)
    {
        return 2;
    }
    Ready();
    pause();
    return 0;
}

int Echo(const std::string& name)
{
    HANDLE client = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (client == INVALID_HANDLE_VALUE)
    {
        return 2;
    }
    return Copy(client, client);
}

long long Microseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

int StarveAccept(const std::string& name)
{
    HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED, 0, 1, 4096,
                                     4096, 0, nullptr);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (server == INVALID_HANDLE_VALUE || event == nullptr)
    {
        return 2;
    }
    // The waits' own set-up is made while descriptors are still free.
    WaitForMultipleObjects(1, &event, FALSE, 0);
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
    OVERLAPPED record{};
    record.hEvent = event;
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
    if (WaitForMultipleObjects(1, &event, FALSE, 10000) != WAIT_OBJECT_0 ||
        !GetOverlappedResult(server, &record, &moved, FALSE))
    {
        return 5;
    }
    return 0;
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
        if (handle == nullptr)
        {
            result |= 1 << i;
        }
    }
    return result;
}

int CloseStdOutput()
{
    if (!CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE)))
    {
        return 2;
    }
    // The next descriptor opened must not take the number of the standard output.
    const int fd = ::open("/dev/null", O_RDONLY);
    if (fd <= STDERR_FILENO)
    {
        return 3;
    }
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0)
    {
    }
    return 0;
}

int CloseWhileReading()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD error = 0;
    std::thread reader(
        [&]
        {
            char buffer[16];
            DWORD got = 0;
            // Without a record the read blocks until it is done.
            error = ReadFile(input, buffer, sizeof buffer, &got, nullptr) ? ERROR_SUCCESS : GetLastError();
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CloseHandle(input);
    reader.join();
    return error == ERROR_OPERATION_ABORTED ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string name = argc > 2 ? argv[2] : "";
    if (mode == "serve")
    {
        return Serve(name);
    }
    if (mode == "hold")
    {
        return Hold(name);
    }
    if (mode == "echo")
    {
        return Echo(name);
    }
    if (mode == "starve")
    {
        return StarveAccept(name);
    }
    if (mode == "std-probe")
    {
        return ProbeStdHandles();
    }
    if (mode == "std-copy")
    {
        return Copy(GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE));
    }
    if (mode == "std-close")
    {
        return CloseStdOutput();
    }
    if (mode == "std-close-read")
    {
        return CloseWhileReading();
    }
    return 100;
}
