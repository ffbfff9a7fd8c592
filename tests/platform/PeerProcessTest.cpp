// Two processes on one pipe: bytes go both ways, and a peer killed in the middle of a transfer
// ends the pending transfer with a broken pipe, without a hang or a signal. A name left by a
// server that was killed can be created again at once.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace PlatformTest;

namespace
{

// A pipe whose stdout this test reads, for the helper's "ready" line.
struct ReadyLine
{
    ReadyLine() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~ReadyLine()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int fds[2] = {-1, -1};
};

Outcome WaitAndFinish(HANDLE pipe, Transfer& transfer, Outcome started)
{
    if (!started.ok && started.error == ERROR_IO_PENDING)
    {
        WaitFor(transfer);
        return Finish(pipe, transfer);
    }
    return started;
}

TEST(PeerProcess, BytesGoThereAndBackThenAKilledPeerBreaksThePendingRead)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    Peer echo({"echo", name});
    Transfer connect;
    const Outcome connected = WaitAndFinish(server.Get(), connect, StartConnect(server.Get(), connect));
    EXPECT_TRUE(connected.ok || connected.error == ERROR_PIPE_CONNECTED) << connected.error;

    const std::vector<char> sent = Pattern(64 * 1024);
    std::vector<char> received;
    Transfer transfer;
    char buffer[4096];
    for (std::size_t offset = 0; offset < sent.size(); offset += 4096)
    {
        ASSERT_TRUE(
            WaitAndFinish(server.Get(), transfer, StartWrite(server.Get(), transfer, &sent[offset], 4096))
                .ok);
        std::size_t echoed = 0;
        while (echoed < 4096)
        {
            const Outcome read = WaitAndFinish(server.Get(), transfer,
                                               StartRead(server.Get(), transfer, buffer, sizeof buffer));
            ASSERT_TRUE(read.ok) << read.error;
            received.insert(received.end(), buffer, buffer + read.bytes);
            echoed += read.bytes;
        }
    }
    EXPECT_EQ(received, sent);

    ASSERT_EQ(StartRead(server.Get(), transfer, buffer, sizeof buffer).error, ERROR_IO_PENDING);
    echo.Kill();
    EXPECT_EQ(WaitFor(transfer, 10000), WAIT_OBJECT_0 + 1) << "the read hangs";
    EXPECT_EQ(Finish(server.Get(), transfer).error, ERROR_BROKEN_PIPE);
}

TEST(PeerProcess, AKilledPeerBreaksThePendingWrite)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    ReadyLine ready;
    Peer holder({"hold", name}, {{STDOUT_FILENO, ready.fds[1]}});
    ASSERT_EQ(ReadLine(ready.fds[0]), "ready");

    Transfer transfer;
    ASSERT_GE(FillUntilPending(server.Get(), transfer, Pattern(4096)), 0);
    holder.Kill();
    EXPECT_EQ(WaitFor(transfer, 10000), WAIT_OBJECT_0 + 1) << "the write hangs";
    EXPECT_EQ(Finish(server.Get(), transfer).error, ERROR_BROKEN_PIPE);
}

TEST(PeerProcess, TheNameOfAKilledServerCanBeCreatedAgainAtOnce)
{
    const std::string name = UniquePipeName();
    ReadyLine ready;
    Peer server({"serve", name}, {{STDOUT_FILENO, ready.fds[1]}});
    ASSERT_EQ(ReadLine(ready.fds[0]), "ready");
    EXPECT_EQ(MakeServer(name, PIPE_ACCESS_DUPLEX).Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);

    server.Kill();
    // Its socket file is still there, but nobody serves it.
    EXPECT_EQ(OpenClient(name, GENERIC_READ).Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    Handle again = MakeServer(name, PIPE_ACCESS_DUPLEX);
    EXPECT_TRUE(again.IsValid()) << GetLastError();
    EXPECT_TRUE(OpenClient(name, GENERIC_READ).IsValid());
}

} // namespace
