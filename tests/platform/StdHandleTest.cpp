// Standard handles, seen from the helper process: NULL without the descriptor, a terminal read until
// it hangs up, a write to a reader that has gone that raises no signal, a full device, and a close
// that ends the peer's stream while the descriptor's number stays taken. (Files and pipes under the
// standard streams are the portable tests' own.)
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace PlatformTest;

namespace
{

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
    {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

TEST(StdHandle, NullWithoutTheDescriptorAndAHandleOtherwise)
{
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    EXPECT_EQ(Peer({"std-probe"}, {{0, null}, {1, null}, {2, null}}).Wait(), 0);
    EXPECT_EQ(Peer({"std-probe"}, {{0, -1}, {1, null}, {2, null}}).Wait(), 1);
    EXPECT_EQ(Peer({"std-probe"}, {{0, null}, {1, -1}, {2, null}}).Wait(), 2);
    EXPECT_EQ(Peer({"std-probe"}, {{0, null}, {1, null}, {2, -1}}).Wait(), 4);
    ::close(null);
}

TEST(StdHandle, ATerminalIsReadUntilItHangsUp)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    LinePipe fromPeer;
    Peer copier({"std-copy"}, {{0, terminal}, {1, fromPeer.fds[1]}});
    ::close(terminal);
    ::close(std::exchange(fromPeer.fds[1], -1));

    ASSERT_EQ(::write(master, "typed\n", 6), 6);
    EXPECT_EQ(ReadLine(fromPeer.fds[0]), "typed");
    ::close(master);
    EXPECT_EQ(ReadAll(fromPeer.fds[0]), "");
    EXPECT_EQ(copier.Wait(), 0);
}

// With SIGPIPE unblocked, and with it blocked and one already pending: the write fails with a
// broken pipe each time, no SIGPIPE is left behind, and the pending one and the mask stay.
TEST(StdHandle, AWriteToAReaderThatHasGoneRaisesNoSignal)
{
    LinePipe toReader;
    ::close(std::exchange(toReader.fds[0], -1));
    EXPECT_EQ(Peer({"std-write-gone"}, {{1, toReader.fds[1]}}).Wait(), 0);
}

// A caller can tell a full device from any other failure.
TEST(StdHandle, AWriteToAFullDeviceSaysTheDiskIsFull)
{
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    EXPECT_EQ(Peer({"std-write-full"}, {{1, full}}).Wait(), 0);
    ::close(full);
}

TEST(StdHandle, ClosingTheOutputEndsThePeersStreamAndKeepsTheNumberTaken)
{
    LinePipe toPeer;
    LinePipe fromPeer;
    Peer closer({"std-close"}, {{0, toPeer.fds[0]}, {1, fromPeer.fds[1]}});
    ::close(std::exchange(toPeer.fds[0], -1));
    ::close(std::exchange(fromPeer.fds[1], -1));

    // The end of the stream arrives while the helper still runs.
    EXPECT_EQ(ReadAll(fromPeer.fds[0]), "");
    EXPECT_FALSE(closer.HasExited());
    ::close(std::exchange(toPeer.fds[1], -1));
    EXPECT_EQ(closer.Wait(), 0);
}

TEST(StdHandle, ClosingTheHandleEndsAReadBlockedOnIt)
{
    // The pipe stays open and empty: only the close can end the read.
    LinePipe toPeer;
    EXPECT_EQ(Peer({"std-close-read"}, {{0, toPeer.fds[0]}}).Wait(), 0);
}

} // namespace
