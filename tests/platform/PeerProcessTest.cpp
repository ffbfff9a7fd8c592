// Two processes on one pipe: bytes go both ways, and a peer killed in the middle of a transfer
// ends the pending transfer with a broken pipe, without a hang or a signal. A name left by a
// server that was killed can be created again at once, and the next server to start removes the
// files that killed servers left. A child made by fork that closes its copies of the handles
// leaves the parent's pipe as it was; a program outside the library that listens on a name keeps
// it; and a server that cannot accept its client for want of descriptors waits without spinning.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
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

TEST(PeerProcess, TheNextServerRemovesTheFilesOfKilledServers)
{
    MakeServer(UniquePipeName(), PIPE_ACCESS_DUPLEX).Close();
    const std::vector<std::string> before = ListDirectory(PipeDirectory());
    {
        ReadyLine ready;
        std::vector<std::unique_ptr<Peer>> servers;
        for (int i = 0; i < 20; ++i)
        {
            servers.push_back(
                std::make_unique<Peer>(std::initializer_list<std::string>{"serve", UniquePipeName()},
                                       std::initializer_list<Peer::Redirect>{{STDOUT_FILENO, ready.fds[1]}}));
            ASSERT_EQ(ReadLine(ready.fds[0]), "ready");
        }
        for (auto& server : servers)
        {
            server->Kill();
        }
    }
    ASSERT_EQ(ListDirectory(PipeDirectory()).size(), before.size() + 2 * 20);
    MakeServer(UniquePipeName(), PIPE_ACCESS_DUPLEX).Close();
    EXPECT_EQ(ListDirectory(PipeDirectory()), before);
}

TEST(PeerProcess, AChildThatClosesItsCopiesLeavesTheParentsPipeAlone)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    Handle client = OpenClient(name, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(client.IsValid());
    const pid_t child = ::fork();
    if (child == 0)
    {
        const bool closed = CloseHandle(server.Release()) && CloseHandle(client.Release());
        // The name is still the parent's.
        const HANDLE again = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, 0, 1,
                                              4096, 4096, 0, nullptr);
        ::_exit(closed && again == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    for (const auto& [from, to] :
         {std::pair{server.Get(), client.Get()}, std::pair{client.Get(), server.Get()}})
    {
        Transfer transfer;
        ASSERT_TRUE(StartWrite(from, transfer, "still here", 10).ok) << GetLastError();
        char buffer[16];
        const Outcome read = WaitAndFinish(to, transfer, StartRead(to, transfer, buffer, sizeof buffer));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(std::string(buffer, read.bytes), "still here");
    }
    EXPECT_EQ(MakeServer(name, PIPE_ACCESS_DUPLEX).Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);
}

TEST(PeerProcess, AProgramListeningOnTheSocketWithoutTheLockKeepsTheName)
{
    const std::string file = "outside-" + std::to_string(::getpid());
    const std::string name = "\\\\.\\pipe\\" + file;
    MakeServer(name, PIPE_ACCESS_DUPLEX).Close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (PipeDirectory() + "/" + file).copy(address.sun_path, sizeof address.sun_path - 1);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    EXPECT_EQ(MakeServer(name, PIPE_ACCESS_DUPLEX).Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);
    // The outside server still gets its clients.
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(client);

    // Once it has gone, its socket file is replaced.
    ::close(listener);
    EXPECT_TRUE(MakeServer(name, PIPE_ACCESS_DUPLEX).IsValid()) << GetLastError();
}

TEST(PeerProcess, AWaitForAClientThatCannotBeAcceptedYetDoesNotSpin)
{
    const std::string name = UniquePipeName();
    ReadyLine ready;
    int go[2];
    ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
    Peer starver({"starve", name}, {{STDIN_FILENO, go[0]}, {STDOUT_FILENO, ready.fds[1]}});
    ASSERT_EQ(ReadLine(ready.fds[0]), "ready");
    Handle client = OpenClient(name, GENERIC_WRITE);
    ASSERT_TRUE(client.IsValid());
    ASSERT_EQ(::write(go[1], "go\n", 3), 3);

    std::istringstream times(ReadLine(ready.fds[0]));
    long long cpu = -1;
    long long wall = -1;
    times >> cpu >> wall;
    EXPECT_EQ(starver.Wait(), 0);
    EXPECT_GE(wall, 300000);
    // Spinning would take the wait's whole time, less only what other processes took from it.
    EXPECT_LT(cpu * 10, wall) << "the wait used " << cpu << " us of CPU in " << wall << " us";
    ::close(go[0]);
    ::close(go[1]);
}

} // namespace
