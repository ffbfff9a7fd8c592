// Helpers for the tests of the Win32 layer.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace PlatformTest
{

namespace
{

// Every test process gets its own $XDG_RUNTIME_DIR, so its pipe directory is its own.
class PrivateRuntimeDirectory : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/zelio-platform-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_path = pattern;
        setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

private:
    std::string m_path;
};

[[maybe_unused]] ::testing::Environment* const g_runtimeDirectory =
    ::testing::AddGlobalTestEnvironment(new PrivateRuntimeDirectory);

Outcome Capture(BOOL ok, DWORD bytes)
{
    return Outcome{ok, ok ? ERROR_SUCCESS : GetLastError(), bytes};
}

void Prepare(Transfer& transfer)
{
    ResetEvent(transfer.event.Get());
    transfer.record.Offset = 0;
    transfer.record.OffsetHigh = 0;
}

} // namespace

Handle& Handle::operator=(Handle&& other) noexcept
{
    if (this != &other)
    {
        Close();
        m_handle = other.Release();
    }
    return *this;
}

HANDLE Handle::Release()
{
    return std::exchange(m_handle, nullptr);
}

void Handle::Close()
{
    if (IsValid())
    {
        CloseHandle(m_handle);
    }
    m_handle = nullptr;
}

Transfer::Transfer() : interrupt(NewEvent()), event(NewEvent())
{
    record.hEvent = event.Get();
}

std::string UniquePipeName()
{
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

Handle MakeServer(const std::string& name, DWORD access, bool overlapped)
{
    return Handle(CreateNamedPipeA(name.c_str(), access | (overlapped ? FILE_FLAG_OVERLAPPED : 0),
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                   nullptr));
}

Handle OpenClient(const std::string& name, DWORD access, bool overlapped)
{
    return Handle(CreateFileA(name.c_str(), access, 0, nullptr, OPEN_EXISTING,
                              overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr));
}

Handle NewEvent()
{
    return Handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

Outcome StartConnect(HANDLE pipe, Transfer& transfer)
{
    Prepare(transfer);
    return Capture(ConnectNamedPipe(pipe, &transfer.record), 0);
}

Outcome StartRead(HANDLE pipe, Transfer& transfer, void* buffer, DWORD size)
{
    Prepare(transfer);
    DWORD bytes = 0;
    const BOOL ok = ReadFile(pipe, buffer, size, &bytes, &transfer.record);
    return Capture(ok, bytes);
}

Outcome StartWrite(HANDLE pipe, Transfer& transfer, const void* buffer, DWORD size)
{
    Prepare(transfer);
    DWORD bytes = 0;
    const BOOL ok = WriteFile(pipe, buffer, size, &bytes, &transfer.record);
    return Capture(ok, bytes);
}

DWORD WaitFor(Transfer& transfer, DWORD milliseconds)
{
    const HANDLE events[2] = {transfer.interrupt.Get(), transfer.event.Get()};
    return WaitForMultipleObjects(2, events, FALSE, milliseconds);
}

Outcome Finish(HANDLE pipe, Transfer& transfer)
{
    DWORD bytes = 0;
    const BOOL ok = GetOverlappedResult(pipe, &transfer.record, &bytes, FALSE);
    return Capture(ok, bytes);
}

Outcome Complete(HANDLE pipe, Transfer& transfer, Outcome started)
{
    if (started.ok || started.error != ERROR_IO_PENDING)
    {
        return started;
    }
    WaitFor(transfer);
    return Finish(pipe, transfer);
}

bool IsSignalled(HANDLE event)
{
    return WaitForMultipleObjects(1, &event, FALSE, 0) == WAIT_OBJECT_0;
}

int FillUntilPending(HANDLE pipe, Transfer& transfer, const std::vector<char>& chunk)
{
    // Far more than any socket buffer holds; the bound only keeps a broken layer from looping.
    for (int written = 0; written < 100000; ++written)
    {
        const Outcome outcome = StartWrite(pipe, transfer, chunk.data(), static_cast<DWORD>(chunk.size()));
        if (!outcome.ok)
        {
            EXPECT_EQ(outcome.error, ERROR_IO_PENDING);
            return written;
        }
        EXPECT_EQ(outcome.bytes, chunk.size());
    }
    ADD_FAILURE() << "the pipe never filled";
    return -1;
}

void WriteAll(HANDLE pipe, const std::vector<char>& data)
{
    Transfer transfer;
    const Outcome outcome =
        Complete(pipe, transfer, StartWrite(pipe, transfer, data.data(), static_cast<DWORD>(data.size())));
    EXPECT_TRUE(outcome.ok) << "error " << outcome.error;
    EXPECT_EQ(outcome.bytes, data.size());
}

std::string ReadToEnd(HANDLE pipe, DWORD& error)
{
    Transfer transfer;
    std::string received;
    char buffer[4096];
    for (;;)
    {
        const Outcome outcome = Complete(pipe, transfer, StartRead(pipe, transfer, buffer, sizeof buffer));
        if (!outcome.ok)
        {
            error = outcome.error;
            return received;
        }
        received.append(buffer, outcome.bytes);
    }
}

std::vector<char> Pattern(std::size_t size, std::size_t offset)
{
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
    {
        const std::size_t at = offset + i;
        bytes[i] = static_cast<char>((at * 7 + at / 251) & 0xFF);
    }
    return bytes;
}

std::string PipeDirectory()
{
    return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/zelio-pipes-" + std::to_string(geteuid());
}

sockaddr_un AddressOf(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
}

std::vector<std::string> ListDirectory(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error))
    {
        names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int OpenDescriptorCount()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

pid_t ThreadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

long long WaitUntilBlockedInPoll(pid_t thread)
{
    // The kernel shows the system call a thread is blocked in, with its arguments.
    const std::string path = "/proc/self/task/" + std::to_string(thread) + "/syscall";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
        std::ifstream file(path);
        long long number = -1;
        std::string fds;
        std::string count;
        std::string timeout;
        if (file >> number >> fds >> count >> timeout && number == SYS_poll)
        {
            return static_cast<int>(std::stoul(timeout, nullptr, 16));
        }
        std::this_thread::yield();
    }
    return kNeverInPoll;
}

Interrupter::Interrupter(Transfer& transfer)
    : m_thread(
          [waiter = ThreadId(), interrupt = transfer.interrupt.Get()]
          {
              WaitUntilBlockedInPoll(waiter);
              SetEvent(interrupt);
          })
{
}

Interrupter::~Interrupter()
{
    m_thread.join();
}

Peer::Peer(std::initializer_list<std::string> arguments, std::initializer_list<Redirect> redirects)
{
    std::vector<std::string> words{ZELIO_TEST_PEER};
    words.insert(words.end(), arguments);
    std::vector<char*> argv;
    for (std::string& word : words)
    {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const Redirect& redirect : redirects)
    {
        if (redirect.source < 0)
        {
            posix_spawn_file_actions_addclose(&actions, redirect.target);
        }
        else
        {
            posix_spawn_file_actions_adddup2(&actions, redirect.source, redirect.target);
        }
    }
    const int error = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
    {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << error;
        m_pid = -1;
    }
}

Peer::~Peer()
{
    Kill();
}

void Peer::Kill()
{
    if (m_pid > 0 && m_status < 0)
    {
        ::kill(m_pid, SIGKILL);
        Wait();
    }
}

bool Peer::HasExited()
{
    if (m_status >= 0 || m_pid <= 0)
    {
        return true;
    }
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
    {
        return false;
    }
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

int Peer::Wait(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!HasExited())
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return m_status;
}

LinePipe::LinePipe()
{
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
}

LinePipe::~LinePipe()
{
    ::close(fds[0]);
    ::close(fds[1]);
}

std::string ReadLine(int fd)
{
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
    {
        line += c;
    }
    return line;
}

} // namespace PlatformTest
