// Threaded channels between two processes, over each kind of output the library has: a pipe pair
// (default protocols), a duplex pipe and the standard output (raw protocols, one transfer of at
// most 4096 bytes per call). Writer threads and consumer threads share a channel, and every frame
// arrives whole. A peer that dies in the middle of a frame, or a release in the middle of one,
// ends the frame with exactly the log lines it should.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "channel/ChannelFakes.h"
#include "channel/FrameExchange.h"
#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <unistd.h>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

constexpr int kWriters = 3;
constexpr int kConsumers = 2;
constexpr size_t kFrames = 24;
constexpr uint64_t kLargest = 1u << 20;

// With TZ unset, glibc reloads the time zone on every mktime, freeing and copying its cached name
// under a lock the thread sanitizer does not see; glog calls mktime for every line, so two threads
// logging at once (the reader and the writer seeing the peer go) look like a race. Naming the
// usual zone before any thread starts makes those calls read-only.
const bool g_zoneNamed = []
{
    ::setenv("TZ", ":/etc/localtime", 0);
    ::tzset();
    return true;
}();

// A POSIX pipe; the child gets one end, and this side closes its copy of that end once the child
// holds its own.
struct PosixPipe
{
    PosixPipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~PosixPipe()
    {
        Close(0);
        Close(1);
    }
    void Close(int end)
    {
        if (fds[end] >= 0)
        {
            ::close(fds[end]);
            fds[end] = -1;
        }
    }
    // Waits for the child's ready byte on the read end.
    bool WaitForReady()
    {
        Close(1);
        char byte = 0;
        return ::read(fds[0], &byte, 1) == 1 && byte == 'R';
    }
    int fds[2] = {-1, -1};
};

// The read end of a POSIX pipe as a byte input, read as a peer written without the library reads.
class DescriptorInput : public Counted<IByteDataInput>
{
public:
    explicit DescriptorInput(int fd) : m_fd(fd) {}
    uint64_t Read(uint8_t* data, uint64_t size) override
    {
        ssize_t got = 0;
        do
        {
            got = ::read(m_fd, data, size);
        } while (got < 0 && errno == EINTR);
        return got > 0 ? static_cast<uint64_t>(got) : 0;
    }

private:
    ~DescriptorInput() override { ::close(m_fd); }
    int m_fd;
};

// Writer threads send the plan through the channel to an echoing child, consumer threads take the
// echoes, and the end marker goes and comes back.
void ExchangeWithEcho(IDataChannel& channel, ChildProcess& child, uint64_t seed)
{
    const auto sizes = FrameSizes(seed, kFrames, kLargest);
    auto taken = std::async(std::launch::async, [&] { return ConsumeFrames(channel, kConsumers, kLargest); });
    EXPECT_TRUE(WriteFrames(channel, sizes, kWriters, true));
    if (!ReturnsPromptly(taken))
    {
        child.Kill(); // ends the consumers
        FAIL() << "the echoes did not end";
    }
    EXPECT_EQ(CheckFrames(taken.get(), sizes, kWriters), "");
    EXPECT_EQ(child.Wait(), 0);
}

TEST(ChannelProcess, WritersAndConsumersExchangeWholeFramesOverAPipePair)
{
    const std::string toChild = UniquePipeName();
    const std::string toParent = UniquePipeName();
    auto channel = CommunicationChannel::Create(DataInputPipe::Create(toParent, true),
                                                DataOutputPipe::Create(toChild, true), true);
    ChildProcess child({"channel-echo", toChild, toParent});
    ExchangeWithEcho(*channel, child, 1);
}

TEST(ChannelProcess, WritersAndConsumersExchangeWholeFramesOverADuplexPipe)
{
    const std::string name = UniquePipeName();
    uint64_t bufferSize = 0;
    auto duplex = DataInputOutputPipe::Create(name, true, bufferSize);
    PosixPipe ready;
    ChildProcess child({"channel-echo-duplex", name}, {false, -1, ready.fds[1]});
    // A duplex server end reads and writes only once the client has opened it.
    ASSERT_TRUE(ready.WaitForReady());
    auto channel = CommunicationChannel::Create(duplex, duplex, true);
    ExchangeWithEcho(*channel, child, 2);
}

// The child's writer threads share a channel over its standard output; its reader waits on a
// standard input that stays silent, so the child ends only if releasing the channel cancels that
// read.
TEST(ChannelProcess, WritersOverTheStandardOutputSendWholeFrames)
{
    PosixPipe toChild;
    PosixPipe fromChild;
    auto channel =
        CommunicationChannel::Create(new DescriptorInput(fromChild.fds[0]), new RecordingOutput, true);
    fromChild.fds[0] = -1;
    ChildProcess child({"channel-standard-writers", std::to_string(kWriters), std::to_string(kFrames), "3",
                        std::to_string(kLargest)},
                       {false, toChild.fds[0], fromChild.fds[1]});
    toChild.Close(0);
    fromChild.Close(1);

    auto taken =
        std::async(std::launch::async, [&] { return ConsumeFrames(*channel, kConsumers, kLargest); });
    if (!ReturnsPromptly(taken))
    {
        child.Kill(); // the end of the child's output ends the consumers
        FAIL() << "the frames did not end";
    }
    EXPECT_EQ(CheckFrames(taken.get(), FrameSizes(3, kFrames, kLargest), kWriters), "");
    EXPECT_EQ(child.Wait(), 0);
}

// This side's channel over the server ends of two fresh pipes, and a child that sends the length
// of a 16 MiB frame and its first MiB, then hangs.
struct TornFrameFromChild
{
    std::string toChild = UniquePipeName();
    std::string toParent = UniquePipeName();
    boost::intrusive_ptr<IDataChannel> channel = CommunicationChannel::Create(
        DataInputPipe::Create(toParent, true), DataOutputPipe::Create(toChild, true), true);
    PosixPipe ready;
    ChildProcess child{{"channel-torn-frame", toChild, toParent}, {false, -1, ready.fds[1]}};
};

void ExpectLines(const LogCapture& log,
                 const std::vector<std::pair<google::LogSeverity, std::string>>& expected)
{
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i)
    {
        EXPECT_EQ(lines[i].severity, expected[i].first) << lines[i].text;
        EXPECT_EQ(lines[i].text, expected[i].second);
    }
}

TEST(ChannelProcess, PeerKilledMidFrameEndsTheReaderWithTheChannelsOwnLine)
{
    LogCapture log;
    TornFrameFromChild peer;
    // A consumer already waiting when the peer dies is woken, and gets nothing.
    std::vector<uint8_t> buffer(4096, 0xEE);
    auto waiting =
        std::async(std::launch::async, [&] { return peer.channel->Read(buffer.data(), buffer.size()); });
    ASSERT_TRUE(peer.ready.WaitForReady());
    peer.child.Kill();
    ASSERT_TRUE(ReturnsPromptly(waiting));
    EXPECT_EQ(waiting.get(), 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4096, 0xEE));
    EXPECT_EQ(peer.child.Wait(), 128 + SIGKILL);
    EXPECT_EQ(peer.channel->Read(buffer.data(), buffer.size()), 0u);
    peer.channel.reset();
    ExpectLines(log,
                {{google::GLOG_WARNING, "The pipe has been closed from the other side."},
                 {google::GLOG_ERROR, "The communication channel received 1048576 of the 16777216 bytes of a "
                                      "frame; the frame is dropped and its reader thread stops."}});
}

TEST(ChannelProcess, ReleaseMidFrameLogsOnlyThePipesCancel)
{
    LogCapture log;
    TornFrameFromChild peer;
    ASSERT_TRUE(peer.ready.WaitForReady());
    auto release = std::async(std::launch::async, [&] { peer.channel.reset(); });
    ASSERT_TRUE(ReturnsPromptly(release));
    ExpectLines(log, {{google::GLOG_WARNING, "io was canceled"}});
}

// The child reads 64 KiB of the frame, then stops reading: the Write waits on the full pipe, with
// part of the frame gone, until the child dies.
TEST(ChannelProcess, PeerKilledMidWriteTearsTheStreamForGood)
{
    LogCapture log;
    const std::string name = UniquePipeName();
    auto channel = CommunicationChannel::Create(new ByteQueue, DataOutputPipe::Create(name, true), true);
    PosixPipe ready;
    ChildProcess child({"read-then-hang", name}, {false, -1, ready.fds[1]});
    const auto frame = Pattern(16u << 20);
    auto write = std::async(std::launch::async, [&] { return channel->Write(frame.data(), frame.size()); });
    ASSERT_TRUE(ready.WaitForReady());
    child.Kill();
    ASSERT_TRUE(ReturnsPromptly(write));
    EXPECT_EQ(write.get(), 0u);
    EXPECT_EQ(channel->Write(frame.data(), 10), 0u);

    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].severity, google::GLOG_WARNING);
    EXPECT_EQ(lines[0].text, "The pipe has been closed from the other side.");
    EXPECT_EQ(lines[1].severity, google::GLOG_ERROR);
    const std::string end =
        " of the 16777224 bytes of a frame: the stream can never be re-synchronised, and the "
        "channel writes nothing more.";
    EXPECT_EQ(lines[1].text.rfind("The communication channel wrote ", 0), 0u) << lines[1].text;
    EXPECT_TRUE(lines[1].text.size() > end.size() &&
                lines[1].text.compare(lines[1].text.size() - end.size(), end.size(), end) == 0)
        << lines[1].text;
}

} // namespace
