// Helpers for the tests of the Win32 layer: owned handles, pipe ends made the way the library's
// pipe streams make them, one-transfer steps that capture the Win32 result, a private pipe
// directory per test process, the helper process, and a look at what a thread is blocked in.
#pragma once

#include <Ostrel/Platform/Windows.h>

#include <initializer_list>
#include <string>
#include <sys/types.h>
#include <sys/un.h>
#include <thread>
#include <vector>

namespace PlatformTest
{

// Closes its handle when it goes.
class Handle
{
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    Handle(Handle&& other) noexcept : m_handle(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Release();
    void Close();

private:
    HANDLE m_handle = nullptr;
};

// What one Win32 call answered; error is GetLastError() after it, meaningful when ok is FALSE.
struct Outcome
{
    BOOL ok;
    DWORD error;
    DWORD bytes;
};

// The wait list of the library's pipes: an interrupt event and the overlapped record's event.
struct Transfer
{
    Transfer();
    Handle interrupt;
    Handle event;
    OVERLAPPED record{};
};

std::string UniquePipeName();
Handle MakeServer(const std::string& name, DWORD access, bool overlapped = true);
Handle OpenClient(const std::string& name, DWORD access, bool overlapped = true);
Handle NewEvent();

// Each resets the record's event, zeroes the offsets and starts the transfer, as the pipes do.
Outcome StartConnect(HANDLE pipe, Transfer& transfer);
Outcome StartRead(HANDLE pipe, Transfer& transfer, void* buffer, DWORD size);
Outcome StartWrite(HANDLE pipe, Transfer& transfer, const void* buffer, DWORD size);
// WaitForMultipleObjects over {interrupt, record event}.
DWORD WaitFor(Transfer& transfer, DWORD milliseconds = INFINITE);
// GetOverlappedResult without waiting.
Outcome Finish(HANDLE pipe, Transfer& transfer);
// A started transfer taken to its end: waited for and finished when it went pending.
Outcome Complete(HANDLE pipe, Transfer& transfer, Outcome started);
bool IsSignalled(HANDLE event);

// Writes 4096-byte chunks until one goes pending; returns how many completed at once.
int FillUntilPending(HANDLE pipe, Transfer& transfer, const std::vector<char>& chunk);
// Writes all the bytes, waiting when the write goes pending; expects success.
void WriteAll(HANDLE pipe, const std::vector<char>& data);
// Reads until the pipe reports an error, returning the bytes read and that error.
std::string ReadToEnd(HANDLE pipe, DWORD& error);

// A pattern whose bytes depend on their offset in the stream.
std::vector<char> Pattern(std::size_t size, std::size_t offset = 0);

// The pipe directory of this test process (inside its own $XDG_RUNTIME_DIR), and socket
// addresses in it.
std::string PipeDirectory();
sockaddr_un AddressOf(const std::string& path);
std::vector<std::string> ListDirectory(const std::string& path);
int OpenDescriptorCount();

// The kernel's id of the calling thread.
pid_t ThreadId();
// Waits until the thread is blocked in poll and returns the time-out that poll was given, or
// kNeverInPoll when the thread was not seen in poll within ten seconds.
constexpr long long kNeverInPoll = -1000000;
long long WaitUntilBlockedInPoll(pid_t thread);

// Signals the transfer's interrupt from another thread once the thread that made it is blocked in
// poll, as the library's Cancel wakes a waiting transfer; joined when it goes.
class Interrupter
{
public:
    explicit Interrupter(Transfer& transfer);
    Interrupter(const Interrupter&) = delete;
    Interrupter& operator=(const Interrupter&) = delete;
    ~Interrupter();

private:
    std::thread m_thread;
};

// The helper executable, started with its standard descriptors replaced as given.
class Peer
{
public:
    struct Redirect
    {
        int target; // 0, 1 or 2
        int source; // a descriptor of this process, or -1 to start without the target
    };

    Peer(std::initializer_list<std::string> arguments, std::initializer_list<Redirect> redirects = {});
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    ~Peer();

    void Kill();
    bool HasExited();
    // The exit status (or 128 + signal); waits at most the given time, -1 when it is still running.
    int Wait(int milliseconds = 10000);

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// A pipe through which helpers print their "ready" line and other answers.
struct LinePipe
{
    LinePipe();
    ~LinePipe();
    int fds[2] = {-1, -1};
};

// Reads one line from a descriptor (blocking), without the newline.
std::string ReadLine(int fd);

} // namespace PlatformTest
