// Pipes between processes: bytes go both ways, and a peer killed in the middle of a transfer ends
// it with a broken pipe, without a hang or a signal. The name of a killed server can be created
// again at once, and the next server to start removes the files that killed servers left. A child
// made by fork that closes its copies of the handles leaves the parent's pipe as it was; a program
// outside the library that listens on a name keeps it; and a server that cannot accept its client
// for want of descriptors waits without spinning.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace PlatformTest;

namespace
{

void ExpectBusy(const Handle& server)
{
    EXPECT_EQ(server.Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);
}

TEST(PeerProcess, BytesGoThereAndBackThenAKilledPeerBreaksThePendingRead)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    Peer echo({"echo", name});
    Transfer transfer;
    const Outcome connected = Complete(server.Get(), transfer, StartConnect(server.Get(), transfer));
    EXPECT_TRUE(connected.ok || connected.error == ERROR_PIPE_CONNECTED) << connected.error;

    const std::vector<char> sent = Pattern(64 * 1024);
    std::vector<char> received;
    char buffer[4096];
    for (std::size_t offset = 0; offset < sent.size(); offset += 4096)
    {
        WriteAll(server.Get(), std::vector<char>(&sent[offset], &sent[offset] + 4096));
        for (std::size_t echoed = 0; echoed < 4096;)
        {
            const Outcome read =
                Complete(server.Get(), transfer, StartRead(server.Get(), transfer, buffer, sizeof buffer));
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
    LinePipe ready;
    Peer holder({"hold", name}, {{STDOUT_FILENO, ready.fds[1]}});
    ASSERT_EQ(ReadLine(ready.fds[0]), "ready");

    Transfer transfer;
    ASSERT_GE(FillUntilPending(server.Get(), transfer, Pattern(4096)), 0);
    holder.Kill();
    EXPECT_EQ(WaitFor(transfer, 10000), WAIT_OBJECT_0 + 1) << "the write hangs";
    EXPECT_EQ(Finish(server.Get(), transfer).error, ERROR_BROKEN_PIPE);
}

TEST(PeerProcess, KilledServersLeaveNamesFreeAtOnceAndTheNextServerRemovesTheirFiles)
{
    MakeServer(UniquePipeName(), PIPE_ACCESS_DUPLEX).Close();
    const std::vector<std::string> before = ListDirectory(PipeDirectory());
    LinePipe ready;
    std::vector<std::string> names;
    std::vector<std::unique_ptr<Peer>> servers;
    for (int i = 0; i < 20; ++i)
    {
        names.push_back(UniquePipeName());
        servers.push_back(
            std::make_unique<Peer>(std::initializer_list<std::string>{"serve", names.back()},
                                   std::initializer_list<Peer::Redirect>{{STDOUT_FILENO, ready.fds[1]}}));
        ASSERT_EQ(ReadLine(ready.fds[0]), "ready");
    }
    ExpectBusy(MakeServer(names[0], PIPE_ACCESS_DUPLEX));
    for (auto& server : servers)
    {
        server->Kill();
    }
    ASSERT_EQ(ListDirectory(PipeDirectory()).size(), before.size() + 2 * 20);
    // A socket file is still there, but nobody serves it.
    EXPECT_EQ(OpenClient(names[0], GENERIC_READ).Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    {
        Handle again = MakeServer(names[0], PIPE_ACCESS_DUPLEX);
        EXPECT_TRUE(again.IsValid()) << GetLastError();
        EXPECT_TRUE(OpenClient(names[0], GENERIC_READ).IsValid());
    }
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
        const Handle again = MakeServer(name, PIPE_ACCESS_DUPLEX);
        ::_exit(closed && !again.IsValid() && GetLastError() == ERROR_PIPE_BUSY ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    for (const auto& [from, to] :
         {std::pair{server.Get(), client.Get()}, std::pair{client.Get(), server.Get()}})
    {
        WriteAll(from, Pattern(10));
        Transfer transfer;
        char buffer[16];
        const Outcome read = Complete(to, transfer, StartRead(to, transfer, buffer, sizeof buffer));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(std::vector<char>(buffer, buffer + read.bytes), Pattern(10));
    }
    ExpectBusy(MakeServer(name, PIPE_ACCESS_DUPLEX));
}

TEST(PeerProcess, AProgramListeningOnTheSocketWithoutTheLockKeepsTheName)
{
    const std::string file = "outside-" + std::to_string(::getpid());
    const std::string name = "\\\\.\\pipe\\" + file;
    MakeServer(name, PIPE_ACCESS_DUPLEX).Close();
    const sockaddr_un address = AddressOf(PipeDirectory() + "/" + file);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    ExpectBusy(MakeServer(name, PIPE_ACCESS_DUPLEX));
    // The outside server still gets its clients.
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(client);

    // Once it has gone, its socket file is replaced.
    ::close(listener);
    EXPECT_TRUE(MakeServer(name, PIPE_ACCESS_DUPLEX).IsValid()) << GetLastError();
}

TEST(PeerProcess, AWaitForAClientThatCannotBeAcceptedYetDoesNotSpin)
{
    const std::string name = UniquePipeName();
    LinePipe go;
    LinePipe answers;
    Peer starver({"starve", name}, {{STDIN_FILENO, go.fds[0]}, {STDOUT_FILENO, answers.fds[1]}});
    // The helper's answers end when it does.
    ::close(std::exchange(answers.fds[1], -1));
    ASSERT_EQ(ReadLine(answers.fds[0]), "ready");
    Handle client = OpenClient(name, GENERIC_WRITE);
    ASSERT_TRUE(client.IsValid());
    ASSERT_EQ(::write(go.fds[1], "go\n", 3), 3);

    std::istringstream times(ReadLine(answers.fds[0]));
    long long cpu = -1;
    long long wall = -1;
    times >> cpu >> wall;
    EXPECT_EQ(starver.Wait(), 0);
    EXPECT_GE(wall, 300000);
    // Spinning would take the wait's whole time, less only what other processes took from it.
    EXPECT_LT(cpu * 10, wall) << "the wait used " << cpu << " us of CPU in " << wall << " us";
}

} // namespace
