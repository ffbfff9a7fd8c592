// ListPipes: the live pipes with their names, directions, server and age, found without taking a
// server's one client; the files of a dead server only on request; a directory open to others
// refused with the system's code.
#include "support/TestSupport.h"

#include <Ostrel/Core/PipeListing.h>
#include <Ostrel/ZelIO.h>

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Ostrel::Core;

namespace
{

// The pipes of each test live in a directory of their own.
class PipeListingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* saved = std::getenv("XDG_RUNTIME_DIR");
        m_saved = saved != nullptr ? saved : "";
        ::setenv("XDG_RUNTIME_DIR", m_scratch.Path().c_str(), 1);
    }
    void TearDown() override
    {
        if (m_saved.empty())
        {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
        else
        {
            ::setenv("XDG_RUNTIME_DIR", m_saved.c_str(), 1);
        }
    }

    std::string Directory() const
    {
        return m_scratch.Path().string() + "/zelio-pipes-" + std::to_string(::geteuid());
    }

    zelio_test::ScratchDirectory m_scratch;
    std::string m_saved;
};

const PipeInfo* Find(const std::vector<PipeInfo>& pipes, const std::string& fileName)
{
    for (const PipeInfo& pipe : pipes)
    {
        if (pipe.fileName == fileName)
        {
            return &pipe;
        }
    }
    return nullptr;
}

TEST_F(PipeListingTest, LiveServersComeWithTheirNameDirectionsProcessAndAge)
{
    EXPECT_TRUE(ListPipes(true).empty());
    auto reader = DataInputPipe::Create("\\\\.\\pipe\\Reader One", true);
    auto writer = DataOutputPipe::Create("\\\\.\\pipe\\writer", true);
    uint64_t bufferSize = 0;
    auto duplex = DataInputOutputPipe::Create("\\\\.\\pipe\\" + std::string(150, 'd'), true, bufferSize);

    const std::vector<PipeInfo> pipes = ListPipes();
    ASSERT_EQ(pipes.size(), 3u);
    const PipeInfo* one = Find(pipes, "reader%20one");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->name, "\\\\.\\pipe\\reader one");
    EXPECT_FALSE(one->hashed);
    EXPECT_TRUE(one->live);
    EXPECT_TRUE(one->serverReads);
    EXPECT_FALSE(one->serverWrites);
    EXPECT_EQ(one->serverProcessId, ::getpid());
    EXPECT_LT(one->ageSeconds, 600u);

    const PipeInfo* out = Find(pipes, "writer");
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->serverReads);
    EXPECT_TRUE(out->serverWrites);

    // Sorted by file name: '~' comes after the letters.
    const PipeInfo* hashed = &pipes[2];
    ASSERT_EQ(hashed->fileName[0], '~');
    EXPECT_TRUE(hashed->hashed);
    EXPECT_EQ(hashed->name, "");
    EXPECT_EQ(hashed->fileName.size(), 17u);
    EXPECT_TRUE(hashed->serverReads && hashed->serverWrites);

    writer.reset();
    EXPECT_EQ(Find(ListPipes(true), "writer"), nullptr) << "a closed server leaves nothing behind";
}

TEST_F(PipeListingTest, ListingTakesNoClientSlot)
{
    auto server = DataInputPipe::Create("\\\\.\\pipe\\guarded", true);
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_EQ(ListPipes().size(), 1u);
    }
    // Had the listing connected, the one instance would be taken and this client refused.
    auto client = DataOutputPipe::Create("\\\\.\\pipe\\guarded", false);
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(client->Write(bytes, sizeof bytes), sizeof bytes);
    uint8_t got[3] = {};
    EXPECT_EQ(server->Read(got, sizeof got), sizeof got);
    EXPECT_EQ(got[2], 3);
}

TEST_F(PipeListingTest, AProgramWithoutTheLockIsLiveWhileItListensAndSeesNoConnection)
{
    // The directory as a server of the library makes it.
    DataInputPipe::Create("\\\\.\\pipe\\made-the-directory", true);
    const std::string path = Directory() + "/foreign";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::chmod(path.c_str(), 0600);
    ASSERT_EQ(::listen(listener, 1), 0);

    const std::vector<PipeInfo> pipes = ListPipes();
    ASSERT_EQ(pipes.size(), 1u);
    EXPECT_EQ(pipes[0].name, "\\\\.\\pipe\\foreign");
    EXPECT_TRUE(pipes[0].live);
    EXPECT_EQ(pipes[0].serverProcessId, ::getpid());
    EXPECT_TRUE(pipes[0].serverWrites);
    EXPECT_FALSE(pipes[0].serverReads);
    pollfd watch{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&watch, 1, 0), 0) << "the listing connected to the socket";

    ::close(listener);
    const std::vector<PipeInfo> afterwards = ListPipes(true);
    ASSERT_EQ(afterwards.size(), 1u);
    EXPECT_FALSE(afterwards[0].live) << "nothing listens on the file any more";
}

TEST_F(PipeListingTest, ADeadServersFilesAreListedOnlyOnRequest)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // Dies without closing: its socket and lock files stay, the lock goes with the process.
        auto server = DataInputPipe::Create("\\\\.\\pipe\\dead", true);
        const char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    EXPECT_TRUE(ListPipes().empty());
    const std::vector<PipeInfo> all = ListPipes(true);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "\\\\.\\pipe\\dead");
    EXPECT_FALSE(all[0].live);
    EXPECT_EQ(all[0].serverProcessId, 0);
    EXPECT_TRUE(all[0].serverReads);
}

TEST_F(PipeListingTest, ADirectoryOpenToOthersIsRefused)
{
    DataInputPipe::Create("\\\\.\\pipe\\made-the-directory", true);
    ASSERT_EQ(::chmod(Directory().c_str(), 0755), 0);
    try
    {
        ListPipes();
        FAIL() << "listed a directory open to others";
    }
    catch (const IOException& error)
    {
        const uint32_t* code = boost::get_error_info<Ostrel::ErrorSystemCode>(error);
        ASSERT_NE(code, nullptr);
        EXPECT_EQ(*code, 5u);
    }
}

} // namespace
