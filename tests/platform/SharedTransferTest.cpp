// One transfer seen by several threads: waits and GetOverlappedResult on it from many threads at
// once move each byte exactly once; a wait that began before the transfer was started learns of
// it; a pending connect whose client has come lets the next transfer on its record go; and a long
// finite wait never turns into an infinite one.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <future>
#include <thread>

using namespace PlatformTest;

namespace
{

constexpr int kWaiters = 6;

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

// kWaiters threads wait for the transfer at once, half on its event, half in GetOverlappedResult.
std::vector<std::thread> StartWaiters(HANDLE pipe, Transfer& transfer)
{
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
    {
        waiters.emplace_back(
            [pipe, &transfer, i]
            {
                if (i % 2 == 0)
                {
                    HANDLE event = transfer.event.Get();
                    EXPECT_EQ(WaitForMultipleObjects(1, &event, FALSE, INFINITE), WAIT_OBJECT_0);
                    return;
                }
                DWORD moved = 0;
                OVERLAPPED* record = &transfer.record;
                EXPECT_TRUE(GetOverlappedResult(pipe, record, &moved, TRUE)) << GetLastError();
            });
    }
    return waiters;
}

void Join(std::vector<std::thread>& threads)
{
    for (std::thread& thread : threads)
    {
        thread.join();
    }
}

TEST(SharedTransfer, ManyWaitersOnOnePendingWriteSendEachByteOnce)
{
    constexpr std::size_t kSize = 4 << 20;
    const std::vector<char> data = Pattern(kSize);
    for (int round = 0; round < 8; ++round)
    {
        SCOPED_TRACE(round);
        OneWayPipe pipe;
        Transfer transfer;
        ASSERT_EQ(StartWrite(pipe.server.Get(), transfer, data.data(), kSize).error, ERROR_IO_PENDING);
        std::vector<std::thread> waiters = StartWaiters(pipe.server.Get(), transfer);

        std::vector<char> received(kSize);
        std::size_t got = 0;
        Transfer reading;
        while (got < kSize)
        {
            Outcome read = StartRead(pipe.client.Get(), reading, &received[got], 4096);
            if (!read.ok && read.error == ERROR_IO_PENDING)
            {
                WaitFor(reading);
                read = Finish(pipe.client.Get(), reading);
            }
            ASSERT_TRUE(read.ok) << read.error;
            got += read.bytes;
        }
        Join(waiters);
        const Outcome written = Finish(pipe.server.Get(), transfer);
        EXPECT_TRUE(written.ok);
        EXPECT_EQ(written.bytes, kSize);
        ASSERT_TRUE(received == data)
            << "the bytes differ from offset "
            << std::mismatch(received.begin(), received.end(), data.begin()).first - received.begin();
        // Nothing was sent twice.
        pipe.server.Close();
        DWORD error = 0;
        EXPECT_EQ(ReadToEnd(pipe.client.Get(), error).size(), 0u);
    }
}

// More bytes arrive than the read takes: a second thread reading for the same transfer would
// take the next ones into the same buffer, and one of the two parts would be lost.
TEST(SharedTransfer, ManyWaitersOnOnePendingReadLoseNoByte)
{
    OneWayPipe pipe;
    const std::vector<char> data = Pattern(100 * 8192);
    std::vector<char> received;
    for (std::size_t sent = 0; sent < data.size(); sent += 8192)
    {
        Transfer transfer;
        std::vector<char> buffer(4096);
        ASSERT_EQ(StartRead(pipe.client.Get(), transfer, buffer.data(), 4096).error, ERROR_IO_PENDING);
        std::vector<std::thread> waiters = StartWaiters(pipe.client.Get(), transfer);
        Transfer writing;
        ASSERT_TRUE(StartWrite(pipe.server.Get(), writing, &data[sent], 4096).ok);
        ASSERT_TRUE(StartWrite(pipe.server.Get(), writing, &data[sent + 4096], 4096).ok);
        Join(waiters);
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

TEST(SharedTransfer, APendingConnectEndsWhenTheClientOpensAndItsRecordThenReads)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
    Transfer transfer;
    ASSERT_EQ(StartConnect(server.Get(), transfer).error, ERROR_IO_PENDING);
    Handle client = OpenClient(name, GENERIC_WRITE);
    Transfer writing;
    ASSERT_TRUE(StartWrite(client.Get(), writing, "first", 5).ok);

    // Nobody waited for the connect: the client's arrival alone ended it.
    char buffer[16];
    Outcome read = StartRead(server.Get(), transfer, buffer, sizeof buffer);
    if (!read.ok && read.error == ERROR_IO_PENDING)
    {
        WaitFor(transfer);
        read = Finish(server.Get(), transfer);
    }
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(std::string(buffer, read.bytes), "first");
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
