// One transfer seen by several threads: waits and GetOverlappedResult on it from many threads at
// once move each byte exactly once; a wait that began before the transfer was started learns of
// it; and a long finite wait never turns into an infinite one.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace PlatformTest;

namespace
{

// Connected ends of one pipe: the server writes, the client reads.
struct OneWayPipe
{
    OneWayPipe()
        : name(UniquePipeName()), server(MakeServer(name, PIPE_ACCESS_OUTBOUND)),
          client(OpenClient(name, GENERIC_READ))
    {
        EXPECT_TRUE(client.IsValid());
    }

    std::string name;
    Handle server;
    Handle client;
};

// Threads that, round after round, all wait at once for the transfer pending on one record: two
// on its event and two in GetOverlappedResult told to wait, all blocked before the transfer can
// move, and two more asking GetOverlappedResult again and again.
class WaiterPool
{
public:
    WaiterPool(HANDLE pipe, Transfer& transfer) : m_pipe(pipe), m_transfer(transfer)
    {
        for (std::atomic<pid_t>& thread : m_blocking)
        {
            thread = 0;
        }
        for (int i = 0; i < 6; ++i)
        {
            m_threads.emplace_back([this, i] { Run(i < 4 ? &m_blocking[i] : nullptr, i % 2 == 0); });
        }
    }
    ~WaiterPool()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& thread : m_threads)
        {
            thread.join();
        }
    }

    // Sends the waiters onto the transfer now pending, and returns once the blocking ones block.
    void StartRound()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_round;
            m_finished = 0;
        }
        m_changed.notify_all();
        for (const std::atomic<pid_t>& thread : m_blocking)
        {
            while (thread == 0)
            {
                std::this_thread::yield();
            }
            EXPECT_NE(WaitUntilBlockedInPoll(thread), kNeverInPoll);
        }
    }
    // Until each waiter has seen the transfer end.
    void FinishRound()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_finished == static_cast<int>(m_threads.size()); });
    }

private:
    void Run(std::atomic<pid_t>* blocking, bool onEvent)
    {
        if (blocking != nullptr)
        {
            *blocking = ThreadId();
        }
        for (int seen = 0; NextRound(seen);)
        {
            HANDLE event = m_transfer.event.Get();
            DWORD moved = 0;
            BOOL done = FALSE;
            if (blocking == nullptr)
            {
                while (!(done = GetOverlappedResult(m_pipe, &m_transfer.record, &moved, FALSE)) &&
                       GetLastError() == ERROR_IO_INCOMPLETE)
                {
                }
            }
            else
            {
                done = onEvent ? WaitForMultipleObjects(1, &event, FALSE, INFINITE) == WAIT_OBJECT_0
                               : GetOverlappedResult(m_pipe, &m_transfer.record, &moved, TRUE);
            }
            EXPECT_TRUE(done);
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_finished;
            m_changed.notify_all();
        }
    }
    bool NextRound(int& seen)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stop || m_round != seen; });
        seen = m_round;
        return !m_stop;
    }

    const HANDLE m_pipe;
    Transfer& m_transfer;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_round = 0;
    int m_finished = 0;
    bool m_stop = false;
    std::array<std::atomic<pid_t>, 4> m_blocking;
    std::vector<std::thread> m_threads;
};

TEST(SharedTransfer, ManyWaitersOnOnePendingWriteSendEachByteOnce)
{
    constexpr std::size_t kRound = 256 * 1024;
    constexpr int kRounds = 128;
    const std::vector<char> data = Pattern(kRound * kRounds);
    OneWayPipe pipe;
    Transfer transfer;
    WaiterPool waiters(pipe.server.Get(), transfer);
    std::vector<char> received(data.size());
    std::size_t got = 0;
    Transfer reading;
    for (int round = 0; round < kRounds; ++round)
    {
        ASSERT_EQ(StartWrite(pipe.server.Get(), transfer, &data[round * kRound], kRound).error,
                  ERROR_IO_PENDING);
        waiters.StartRound();
        while (got < (round + 1) * kRound)
        {
            const Outcome read = Complete(pipe.client.Get(), reading,
                                          StartRead(pipe.client.Get(), reading, &received[got], 4096));
            ASSERT_TRUE(read.ok) << read.error;
            got += read.bytes;
        }
        waiters.FinishRound();
        const Outcome written = Finish(pipe.server.Get(), transfer);
        EXPECT_TRUE(written.ok);
        EXPECT_EQ(written.bytes, kRound);
        ASSERT_TRUE(std::equal(received.begin(), received.begin() + got, data.begin()))
            << "the bytes differ from offset "
            << std::mismatch(received.begin(), received.begin() + got, data.begin()).first - received.begin();
    }
    // Nothing was sent twice.
    pipe.server.Close();
    DWORD error = 0;
    EXPECT_EQ(ReadToEnd(pipe.client.Get(), error).size(), 0u);
}

// More bytes arrive than the read takes: a second thread reading for the same transfer would
// take the next ones into the same buffer, and one of the two parts would be lost.
TEST(SharedTransfer, ManyWaitersOnOnePendingReadLoseNoByte)
{
    OneWayPipe pipe;
    const std::vector<char> data = Pattern(300 * 8192);
    std::vector<char> received;
    Transfer transfer;
    WaiterPool waiters(pipe.client.Get(), transfer);
    std::vector<char> buffer(4096);
    for (std::size_t sent = 0; sent < data.size(); sent += 8192)
    {
        ASSERT_EQ(StartRead(pipe.client.Get(), transfer, buffer.data(), 4096).error, ERROR_IO_PENDING);
        waiters.StartRound();
        WriteAll(pipe.server.Get(), std::vector<char>(&data[sent], &data[sent] + 8192));
        waiters.FinishRound();
        Outcome read = Finish(pipe.client.Get(), transfer);
        while (read.ok)
        {
            received.insert(received.end(), buffer.begin(), buffer.begin() + read.bytes);
            if (received.size() == sent + 8192)
            {
                break;
            }
            // The rest of the round's bytes are there already, unless some were lost.
            read = StartRead(pipe.client.Get(), transfer, buffer.data(), 4096);
            if (!read.ok && read.error == ERROR_IO_PENDING && WaitFor(transfer, 5000) == WAIT_OBJECT_0 + 1)
            {
                read = Finish(pipe.client.Get(), transfer);
            }
        }
        ASSERT_TRUE(read.ok) << "bytes lost in the round at offset " << sent << ": " << read.error;
        ASSERT_TRUE(std::equal(received.begin(), received.end(), data.begin()))
            << "the bytes differ before offset " << received.size();
    }
}

TEST(SharedTransfer, AWaitBegunBeforeTheTransferSeesItFinish)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
    Handle client = OpenClient(name, GENERIC_WRITE);
    Transfer transfer;
    std::promise<pid_t> waiterThread;
    auto waited = std::async(std::launch::async,
                             [&]
                             {
                                 waiterThread.set_value(ThreadId());
                                 HANDLE event = transfer.event.Get();
                                 return WaitForMultipleObjects(1, &event, FALSE, 5000);
                             });
    ASSERT_NE(WaitUntilBlockedInPoll(waiterThread.get_future().get()), kNeverInPoll);

    char buffer[16];
    ASSERT_EQ(StartRead(server.Get(), transfer, buffer, sizeof buffer).error, ERROR_IO_PENDING);
    Transfer writing;
    ASSERT_TRUE(StartWrite(client.Get(), writing, "late", 4).ok);
    EXPECT_EQ(waited.get(), WAIT_OBJECT_0);
    const Outcome read = Finish(server.Get(), transfer);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(std::string(buffer, read.bytes), "late");
}

TEST(SharedTransfer, AFiniteWaitLongerThanPollCanTakeStaysFinite)
{
    Handle event = NewEvent();
    std::promise<pid_t> waiterThread;
    auto waited = std::async(std::launch::async,
                             [&]
                             {
                                 waiterThread.set_value(ThreadId());
                                 HANDLE handle = event.Get();
                                 return WaitForMultipleObjects(1, &handle, FALSE, 0xFFFFFFFEu);
                             });
    const long long timeout = WaitUntilBlockedInPoll(waiterThread.get_future().get());
    SetEvent(event.Get());
    EXPECT_EQ(waited.get(), WAIT_OBJECT_0);
    EXPECT_EQ(timeout, INT_MAX) << "poll was given " << timeout << " ms";
}

} // namespace
