// Pipe and standard streams where threads and processes meet: a connect ended by Cancel whose
// client comes before the read, a child made by fork that releases its copies of the streams, and
// a standard stream made while the last one is being released (held there by a gate that this test
// program puts in front of the C library's fcntl, which the standard streams call on first use).
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/DataStdInput.h>
#include <Ostrel/Core/DataStdOutput.h>
#include <Ostrel/Core/IOException.h>

#include "pipes/PipeTestSupport.h"

#include <gtest/gtest.h>

#include <glog/logging.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

// Opens a client of the pipe and writes to it on the logging thread, the moment the given line
// is logged: after the event the line reports, before whatever the logging thread does next.
class ClientOnLogLine : public google::LogSink
{
public:
    ClientOnLogLine(std::string name, std::string line) : m_name(std::move(name)), m_line(std::move(line))
    {
        google::AddLogSink(this);
    }
    ~ClientOnLogLine() override { google::RemoveLogSink(this); }

    void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&,
              const char* message, size_t length) override
    {
        if (m_client || std::string(message, length) != m_line)
        {
            return;
        }
        m_client = DataOutputPipe::Create(m_name, false);
        m_client->Write(reinterpret_cast<const uint8_t*>("hello"), 5);
        m_logged.store(true);
    }
    bool Logged() const { return m_logged.load(); }

private:
    const std::string m_name;
    const std::string m_line;
    boost::intrusive_ptr<IByteDataOutputEx> m_client;
    std::atomic<bool> m_logged{false};
};

TEST(PipeStreamEdge, AClientThatComesAfterACancelledConnectIsReadByTheNextTransfer)
{
    const std::string name = UniquePipeName();
    auto server = DataInputPipe::Create(name, true);
    ClientOnLogLine client(name, "Cannot connect the pipe, error 996.");
    auto read = std::async(std::launch::async,
                           [&]
                           {
                               uint8_t buffer[5] = {};
                               const uint64_t got = server->Read(buffer, sizeof buffer);
                               return std::string(reinterpret_cast<char*>(buffer), got);
                           });
    // A Cancel made before the connect waits is forgotten: cancel until one has ended the wait.
    while (!client.Logged() && read.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    {
        server->Cancel();
        std::this_thread::yield();
    }
    ASSERT_TRUE(ReturnsPromptly(read));
    EXPECT_TRUE(client.Logged());
    EXPECT_EQ(read.get(), "hello");
}

TEST(PipeStreamEdge, AChildThatReleasesItsCopiesLeavesTheParentsPipeAlone)
{
    const std::string name = UniquePipeName();
    auto server = DataInputPipe::Create(name, true);
    auto client = DataOutputPipe::Create(name, false);
    const pid_t child = ::fork();
    if (child == 0)
    {
        // Their destructors close the child's handles.
        server.reset();
        client.reset();
        ::_exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::vector<uint8_t> sent = Pattern(10000);
    EXPECT_EQ(client->Write(sent.data(), sent.size()), sent.size());
    std::vector<uint8_t> received(sent.size());
    EXPECT_EQ(server->Read(received.data(), received.size()), received.size());
    EXPECT_EQ(received, sent);
    EXPECT_THROW(DataInputPipe::Create(name, true), IOException);
}

// The standard streams' first look at standard input, stopped at a gate while the gate is armed,
// so that a test can hold a standard-stream factory in the middle of its work: the library's own
// calls are bound inside it, but what it asks of the C library passes through this program.
std::mutex g_gateMutex;
std::condition_variable g_gateChanged;
bool g_gateArmed = false;
bool g_insideGate = false;

} // namespace

extern "C" __attribute__((visibility("default"))) int fcntl(int descriptor, int command, ...)
{
    using RealFcntl = int (*)(int, int, ...);
    static const auto real = reinterpret_cast<RealFcntl>(::dlsym(RTLD_NEXT, "fcntl"));
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (descriptor == STDIN_FILENO && command == F_GETFD)
    {
        std::unique_lock<std::mutex> lock(g_gateMutex);
        if (g_gateArmed)
        {
            g_insideGate = true;
            g_gateChanged.notify_all();
            g_gateChanged.wait(lock, [] { return !g_gateArmed; });
        }
    }
    return real(descriptor, command, argument);
}

namespace
{

// A thread that runs `work` and tells its kernel id, and whether the work has returned.
class WatchedThread
{
public:
    explicit WatchedThread(std::function<void()> work)
        : m_thread(
              [this, work = std::move(work)]
              {
                  m_id = static_cast<pid_t>(::syscall(SYS_gettid));
                  work();
                  m_done = true;
              })
    {
        while (m_id.load() == 0)
        {
            std::this_thread::yield();
        }
    }
    ~WatchedThread() { m_thread.join(); }

    // True once the thread is blocked waiting for a lock (a futex), false when its work returned
    // first.
    bool WaitUntilBlockedOnALock() const
    {
        const std::string path = "/proc/self/task/" + std::to_string(m_id.load()) + "/syscall";
        while (!m_done.load())
        {
            std::ifstream file(path);
            long number = -1;
            if (file >> number && number == SYS_futex)
            {
                return true;
            }
            std::this_thread::yield();
        }
        return false;
    }

private:
    std::atomic<pid_t> m_id{0};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

void SetGate(bool armed)
{
    std::lock_guard<std::mutex> lock(g_gateMutex);
    g_gateArmed = armed;
    g_gateChanged.notify_all();
}

// In a child: the last standard output is released while another thread waits to make one.
// Exit status 0 when that thread got no stream, or one that writes.
int MakeAStandardOutputWhileTheLastCloses()
{
    uint64_t bufferSize = 0;
    auto last = DataStdOutput::Create(bufferSize);
    boost::intrusive_ptr<IByteDataOutput> next;
    SetGate(true);
    {
        // A standard input being made holds the standard streams' shared lock inside the gate.
        WatchedThread input(
            []
            {
                uint64_t inputBufferSize = 0;
                DataStdInput::Create(inputBufferSize);
            });
        {
            // The first standard input of the process reaches the gate at once; a bound keeps a
            // change in how the streams look at their descriptor from hanging the test.
            std::unique_lock<std::mutex> lock(g_gateMutex);
            if (!g_gateChanged.wait_for(lock, kPrompt, [] { return g_insideGate; }))
            {
                lock.unlock();
                SetGate(false);
                return 3;
            }
        }
        WatchedThread maker([&] { next = DataStdOutput::Create(bufferSize); });
        if (!maker.WaitUntilBlockedOnALock())
        {
            SetGate(false);
            return 2;
        }
        WatchedThread releaser([&] { last.reset(); });
        releaser.WaitUntilBlockedOnALock();
        SetGate(false);
    }
    const uint8_t byte = 'x';
    try
    {
        return !next || next->Write(&byte, 1) == 1 ? 0 : 1;
    }
    catch (...)
    {
        return 1;
    }
}

TEST(PipeStreamEdge, AStandardOutputMadeWhileTheLastOneClosesIsNoneOrWorks)
{
    const pid_t child = ::fork();
    if (child == 0)
    {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::_exit(MakeAStandardOutputWhileTheLastCloses());
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a stream over the closed handle; 2: the maker did not wait; 3: the gate was never reached";
}

} // namespace
