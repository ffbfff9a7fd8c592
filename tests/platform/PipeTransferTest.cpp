// A pipe's connect and transfers through the Win32 calls, situation by situation, with the result
// and the error code that Win32 gives in each; the interrupts come from another thread while the
// wait is blocked, as the library's Cancel sends them.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace PlatformTest;

namespace
{

// A server and a client end of one name; the server has taken the client (its connect answered
// ERROR_PIPE_CONNECTED, the client having come first).
struct ConnectedPipe
{
    ConnectedPipe(DWORD serverAccess, DWORD clientAccess, DWORD outBufferSize = 4096)
        : name(UniquePipeName()), server(CreateNamedPipeA(name.c_str(), serverAccess | FILE_FLAG_OVERLAPPED,
                                                          0, 1, outBufferSize, 4096, 0, nullptr)),
          client(OpenClient(name, clientAccess))
    {
        EXPECT_TRUE(server.IsValid());
        EXPECT_TRUE(client.IsValid());
        Transfer transfer;
        const Outcome connect = StartConnect(server.Get(), transfer);
        EXPECT_FALSE(connect.ok);
        EXPECT_EQ(connect.error, ERROR_PIPE_CONNECTED);
    }

    std::string name;
    Handle server;
    Handle client;
};

void ExpectFailure(const Outcome& outcome, DWORD error)
{
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, error);
}

void ExpectSuccess(const Outcome& outcome, DWORD bytes)
{
    EXPECT_TRUE(outcome.ok) << "error " << outcome.error;
    EXPECT_EQ(outcome.bytes, bytes);
}

// The pending transfer is interrupted while its wait is blocked, reads incomplete, and is
// cancelled as aborted.
void ExpectInterruptedThenAborted(HANDLE pipe, Transfer& transfer)
{
    {
        Interrupter interrupter(transfer);
        EXPECT_EQ(WaitFor(transfer), WAIT_OBJECT_0);
    }
    ExpectFailure(Finish(pipe, transfer), ERROR_IO_INCOMPLETE);
    EXPECT_TRUE(CancelIo(pipe));
    ExpectFailure(Finish(pipe, transfer), ERROR_OPERATION_ABORTED);
}

// Without a client, transfers without a connect are refused as listening too, for every access.
TEST(PipeConnect, WithoutClientIsPendingIncompleteListeningThenAborted)
{
    char buffer[16] = {};
    for (const DWORD access : {PIPE_ACCESS_INBOUND, PIPE_ACCESS_OUTBOUND, PIPE_ACCESS_DUPLEX})
    {
        SCOPED_TRACE(access);
        Handle server = MakeServer(UniquePipeName(), access);
        Transfer transfer;
        if ((access & PIPE_ACCESS_INBOUND) != 0)
        {
            ExpectFailure(StartRead(server.Get(), transfer, buffer, sizeof buffer), ERROR_PIPE_LISTENING);
        }
        if ((access & PIPE_ACCESS_OUTBOUND) != 0)
        {
            ExpectFailure(StartWrite(server.Get(), transfer, buffer, sizeof buffer), ERROR_PIPE_LISTENING);
        }
        ExpectFailure(StartConnect(server.Get(), transfer), ERROR_IO_PENDING);
        {
            Interrupter interrupter(transfer);
            EXPECT_EQ(WaitFor(transfer), WAIT_OBJECT_0);
        }
        ExpectFailure(Finish(server.Get(), transfer), ERROR_IO_INCOMPLETE);

        // A transfer on the record of the pending connect.
        DWORD moved = 0;
        const BOOL ok = access != PIPE_ACCESS_OUTBOUND
                            ? ReadFile(server.Get(), buffer, sizeof buffer, &moved, &transfer.record)
                            : WriteFile(server.Get(), buffer, sizeof buffer, &moved, &transfer.record);
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), ERROR_PIPE_LISTENING);

        EXPECT_TRUE(CancelIo(server.Get()));
        ExpectFailure(Finish(server.Get(), transfer), ERROR_OPERATION_ABORTED);
    }
}

// Whether a thread waits for the pending connect or not, the client's arrival ends it; a transfer
// on its record then moves the client's bytes.
TEST(PipeConnect, APendingConnectEndsWhenTheClientOpens)
{
    for (const bool waited : {true, false})
    {
        SCOPED_TRACE(waited);
        const std::string name = UniquePipeName();
        Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
        Transfer transfer;
        ExpectFailure(StartConnect(server.Get(), transfer), ERROR_IO_PENDING);
        Handle client = OpenClient(name, GENERIC_WRITE);
        ASSERT_TRUE(client.IsValid());
        if (waited)
        {
            EXPECT_EQ(WaitFor(transfer), WAIT_OBJECT_0 + 1);
            ExpectSuccess(Finish(server.Get(), transfer), 0);
        }
        WriteAll(client.Get(), Pattern(10));
        char buffer[16];
        ExpectSuccess(
            Complete(server.Get(), transfer, StartRead(server.Get(), transfer, buffer, sizeof buffer)), 10);
        EXPECT_EQ(std::vector<char>(buffer, buffer + 10), Pattern(10));
    }
}

TEST(PipeConnect, ClientThatCameAndWentGivesNoDataThenWhatItWroteThenBrokenPipe)
{
    for (const std::size_t written : {std::size_t{0}, std::size_t{3}})
    {
        SCOPED_TRACE(written);
        const std::string name = UniquePipeName();
        Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
        Handle client = OpenClient(name, GENERIC_WRITE);
        if (written > 0)
        {
            WriteAll(client.Get(), Pattern(written));
        }
        client.Close();

        Transfer transfer;
        ExpectFailure(StartConnect(server.Get(), transfer), ERROR_NO_DATA);
        EXPECT_FALSE(IsSignalled(transfer.event.Get()));
        DWORD error = 0;
        const std::vector<char> expected = Pattern(written);
        EXPECT_EQ(ReadToEnd(server.Get(), error), std::string(expected.begin(), expected.end()));
        EXPECT_EQ(error, ERROR_BROKEN_PIPE);
    }
}

TEST(PipeTransfer, ReadWithoutDataIsPendingIncompleteThenAbortedWithTheEventSignalled)
{
    ConnectedPipe pipe(PIPE_ACCESS_DUPLEX, GENERIC_READ | GENERIC_WRITE);
    for (const HANDLE end : {pipe.server.Get(), pipe.client.Get()})
    {
        Transfer transfer;
        char buffer[4096];
        ExpectFailure(StartRead(end, transfer, buffer, sizeof buffer), ERROR_IO_PENDING);
        ExpectInterruptedThenAborted(end, transfer);
        EXPECT_TRUE(IsSignalled(transfer.event.Get()));
    }
}

// The first read finishes at once: its event is set and the result reports the same count.
TEST(PipeTransfer, WrittenBytesThenBrokenPipeAtOnceForEveryReadSize)
{
    const std::vector<char> data = Pattern(5000);
    for (const DWORD readSize : {DWORD{4096}, DWORD{8192}})
    {
        SCOPED_TRACE(readSize);
        ConnectedPipe pipe(PIPE_ACCESS_INBOUND, GENERIC_WRITE);
        WriteAll(pipe.client.Get(), data);
        pipe.client.Close();

        std::vector<char> received;
        std::vector<char> buffer(readSize);
        Transfer transfer;
        while (received.size() < data.size())
        {
            const Outcome outcome = StartRead(pipe.server.Get(), transfer, buffer.data(), readSize);
            ASSERT_TRUE(outcome.ok) << outcome.error;
            EXPECT_EQ(outcome.bytes, std::min<std::size_t>(readSize, data.size() - received.size()));
            EXPECT_EQ(WaitFor(transfer, 0), WAIT_OBJECT_0 + 1);
            ExpectSuccess(Finish(pipe.server.Get(), transfer), outcome.bytes);
            received.insert(received.end(), buffer.begin(), buffer.begin() + outcome.bytes);
        }
        EXPECT_EQ(received, data);
        ExpectFailure(StartRead(pipe.server.Get(), transfer, buffer.data(), readSize), ERROR_BROKEN_PIPE);
    }
}

TEST(PipeTransfer, PendingReadEndsWithBrokenPipeWhenTheWriterCloses)
{
    ConnectedPipe pipe(PIPE_ACCESS_INBOUND, GENERIC_WRITE);
    Transfer transfer;
    char buffer[4096];
    ExpectFailure(StartRead(pipe.server.Get(), transfer, buffer, sizeof buffer), ERROR_IO_PENDING);

    pipe.client.Close();
    EXPECT_EQ(WaitFor(transfer), WAIT_OBJECT_0 + 1);
    ExpectFailure(Finish(pipe.server.Get(), transfer), ERROR_BROKEN_PIPE);
    ExpectFailure(StartRead(pipe.server.Get(), transfer, buffer, sizeof buffer), ERROR_BROKEN_PIPE);
}

// Every write after the reader went is a broken pipe, never a signal (the test process would die
// of it), and so is a write that was pending when the reader closed.
TEST(PipeTransfer, WritesToAReaderThatHasGoneAreBrokenPipe)
{
    ConnectedPipe outbound(PIPE_ACCESS_OUTBOUND, GENERIC_READ);
    outbound.client.Close();
    ConnectedPipe inbound(PIPE_ACCESS_INBOUND, GENERIC_WRITE);
    inbound.server.Close();
    const std::vector<char> data = Pattern(4096);
    for (const HANDLE writer : {outbound.server.Get(), inbound.client.Get()})
    {
        Transfer transfer;
        ExpectFailure(StartWrite(writer, transfer, data.data(), 4096), ERROR_BROKEN_PIPE);
        ExpectFailure(StartWrite(writer, transfer, data.data(), 4096), ERROR_BROKEN_PIPE);
    }

    ConnectedPipe pending(PIPE_ACCESS_OUTBOUND, GENERIC_READ);
    Transfer transfer;
    ASSERT_GE(FillUntilPending(pending.server.Get(), transfer, data), 0);
    pending.client.Close();
    EXPECT_EQ(WaitFor(transfer), WAIT_OBJECT_0 + 1);
    ExpectFailure(Finish(pending.server.Get(), transfer), ERROR_BROKEN_PIPE);
}

// With buffers larger than Win32's, the write that goes pending is the first that does not fit
// rather than the second; the requested buffer size is a minimum.
TEST(PipeTransfer, CancelledWriteOnAFullPipeDeliversOnlyTheCompletedWrites)
{
    constexpr DWORD kRequested = 1 << 20;
    ConnectedPipe pipe(PIPE_ACCESS_OUTBOUND, GENERIC_READ, kRequested);
    Transfer transfer;
    const std::vector<char> chunk = Pattern(4096);
    const int completed = FillUntilPending(pipe.server.Get(), transfer, chunk);
    ASSERT_GT(completed, 0);
    EXPECT_GE(static_cast<DWORD>(completed) * 4096, kRequested);
    ExpectInterruptedThenAborted(pipe.server.Get(), transfer);

    pipe.server.Close();
    DWORD error = 0;
    const std::string received = ReadToEnd(pipe.client.Get(), error);
    EXPECT_EQ(error, ERROR_BROKEN_PIPE);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(completed) * 4096);
    for (int i = 0; i < completed; ++i)
    {
        EXPECT_EQ(received.compare(i * 4096, 4096, chunk.data(), 4096), 0) << "chunk " << i;
    }
}

TEST(PipeTransfer, DuplexServerWorksWithoutConnectOnceTheClientOpened)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    Handle client = OpenClient(name, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(client.IsValid());

    const std::vector<char> toClient = Pattern(100);
    const std::vector<char> toServer = Pattern(100, 1000);
    WriteAll(server.Get(), toClient);
    WriteAll(client.Get(), toServer);
    for (const auto& [reader, expected] :
         {std::pair{client.Get(), toClient}, std::pair{server.Get(), toServer}})
    {
        Transfer transfer;
        std::vector<char> buffer(4096);
        ExpectSuccess(StartRead(reader, transfer, buffer.data(), 4096), 100);
        buffer.resize(100);
        EXPECT_EQ(buffer, expected);
    }
}

TEST(PipeTransfer, CancelIoOnOneThreadLeavesAnotherThreadsWritePending)
{
    ConnectedPipe pipe(PIPE_ACCESS_DUPLEX, GENERIC_READ | GENERIC_WRITE);
    const std::vector<char> chunk = Pattern(4096);
    Transfer writing;
    std::promise<int> filled;
    std::future<int> filledCount = filled.get_future();
    std::promise<Outcome> written;
    std::future<Outcome> writeOutcome = written.get_future();
    std::thread writer(
        [&]
        {
            filled.set_value(FillUntilPending(pipe.server.Get(), writing, chunk));
            WaitFor(writing);
            written.set_value(Finish(pipe.server.Get(), writing));
        });
    const int completed = filledCount.get();
    ASSERT_GE(completed, 0);

    Transfer reading;
    char buffer[4096];
    ExpectFailure(StartRead(pipe.server.Get(), reading, buffer, sizeof buffer), ERROR_IO_PENDING);
    ExpectInterruptedThenAborted(pipe.server.Get(), reading);
    ExpectFailure(Finish(pipe.server.Get(), writing), ERROR_IO_INCOMPLETE);

    // Draining the pipe lets the write finish.
    std::size_t drained = 0;
    const std::size_t total = (static_cast<std::size_t>(completed) + 1) * 4096;
    Transfer draining;
    while (drained < total)
    {
        const Outcome outcome = Complete(pipe.client.Get(), draining,
                                         StartRead(pipe.client.Get(), draining, buffer, sizeof buffer));
        ASSERT_TRUE(outcome.ok) << outcome.error;
        drained += outcome.bytes;
    }
    writer.join();
    ExpectSuccess(writeOutcome.get(), 4096);
}

TEST(PipeTransfer, TransfersWithoutARecordBlockUntilDone)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_INBOUND, false);
    Handle client = OpenClient(name, GENERIC_WRITE, false);
    ASSERT_TRUE(client.IsValid());
    EXPECT_TRUE(ConnectNamedPipe(server.Get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
    const std::vector<char> data = Pattern(300);
    std::thread writer(
        [&, reader = ThreadId()]
        {
            // Written once the read blocks.
            WaitUntilBlockedInPoll(reader);
            DWORD written = 0;
            EXPECT_TRUE(WriteFile(client.Get(), data.data(), 300, &written, nullptr));
            EXPECT_EQ(written, 300u);
        });
    std::vector<char> buffer(300);
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(server.Get(), buffer.data(), 300, &got, nullptr));
    writer.join();
    ASSERT_GT(got, 0u);
    buffer.resize(got);
    EXPECT_EQ(buffer, std::vector<char>(data.begin(), data.begin() + got));
}

} // namespace
