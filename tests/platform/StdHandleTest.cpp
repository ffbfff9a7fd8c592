// Standard handles, seen from the helper process: NULL without the descriptor, a working handle
// over a pipe, a regular file (read and written in order) or a terminal, and a close that ends the
// peer's stream while the descriptor's number stays taken.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <unistd.h>

using namespace PlatformTest;

namespace
{

std::string TempPath(const std::string& what)
{
    return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + what;
}

void WriteFileText(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileText(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
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

TEST(StdHandle, RegularFilesAreReadAndWrittenInOrder)
{
    const std::vector<char> content = Pattern(3 * 4096 + 100);
    const std::string input = TempPath("std-input");
    const std::string output = TempPath("std-output");
    WriteFileText(input, content);
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_EQ(Peer({"std-copy"}, {{0, in}, {1, out}}).Wait(), 0);
    ::close(in);
    ::close(out);
    EXPECT_EQ(ReadFileText(output), std::string(content.begin(), content.end()));
}

TEST(StdHandle, PipesCarryTheStreamBothWays)
{
    int toPeer[2];
    int fromPeer[2];
    ASSERT_EQ(::pipe2(toPeer, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(fromPeer, O_CLOEXEC), 0);
    Peer copier({"std-copy"}, {{0, toPeer[0]}, {1, fromPeer[1]}});
    ::close(toPeer[0]);
    ::close(fromPeer[1]);
    const std::vector<char> content = Pattern(100000);
    ASSERT_EQ(::write(toPeer[1], content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(toPeer[1]);
    EXPECT_EQ(ReadAll(fromPeer[0]), std::string(content.begin(), content.end()));
    ::close(fromPeer[0]);
    EXPECT_EQ(copier.Wait(), 0);
}

TEST(StdHandle, ATerminalIsReadUntilItHangsUp)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    int fromPeer[2];
    ASSERT_EQ(::pipe2(fromPeer, O_CLOEXEC), 0);
    Peer copier({"std-copy"}, {{0, terminal}, {1, fromPeer[1]}});
    ::close(terminal);
    ::close(fromPeer[1]);

    ASSERT_EQ(::write(master, "typed\n", 6), 6);
    EXPECT_EQ(ReadLine(fromPeer[0]), "typed");
    ::close(master);
    EXPECT_EQ(ReadAll(fromPeer[0]), "");
    ::close(fromPeer[0]);
    EXPECT_EQ(copier.Wait(), 0);
}

TEST(StdHandle, ClosingTheOutputEndsThePeersStreamAndKeepsTheNumberTaken)
{
    int toPeer[2];
    int fromPeer[2];
    ASSERT_EQ(::pipe2(toPeer, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(fromPeer, O_CLOEXEC), 0);
    Peer closer({"std-close"}, {{0, toPeer[0]}, {1, fromPeer[1]}});
    ::close(toPeer[0]);
    ::close(fromPeer[1]);

    // The end of the stream arrives while the helper still runs.
    EXPECT_EQ(ReadAll(fromPeer[0]), "");
    EXPECT_FALSE(closer.HasExited());
    ::close(toPeer[1]);
    EXPECT_EQ(closer.Wait(), 0);
    ::close(fromPeer[0]);
}

TEST(StdHandle, ClosingTheHandleEndsAReadBlockedOnIt)
{
    int toPeer[2];
    ASSERT_EQ(::pipe2(toPeer, O_CLOEXEC), 0);
    Peer reader({"std-close-read"}, {{0, toPeer[0]}});
    // The pipe stays open and empty: only the close can end the read.
    EXPECT_EQ(reader.Wait(), 0);
    ::close(toPeer[0]);
    ::close(toPeer[1]);
}

} // namespace
