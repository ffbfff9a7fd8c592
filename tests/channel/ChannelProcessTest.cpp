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
#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <map>
#include <thread>
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

// The frames of a plan (see WriteFrames) that each consumer took, in order; -1 for a frame that is
// none of them.
using TakenFrames = std::vector<std::vector<int64_t>>;

// Consumer threads read whole frames (each Read asks for more than the largest) until the channel
// ends, and tell each by its size, which is unique in a plan, and its bytes.
TakenFrames ConsumeFrames(IDataChannel& channel, const std::vector<uint64_t>& sizes)
{
    std::map<uint64_t, int64_t> frameOfSize;
    for (size_t id = 0; id < sizes.size(); ++id)
    {
        frameOfSize[sizes[id]] = static_cast<int64_t>(id);
    }
    TakenFrames taken(kConsumers);
    std::vector<std::thread> threads;
    for (auto& frames : taken)
    {
        threads.emplace_back(
            [&]
            {
                std::vector<uint8_t> buffer(kLargest + 1);
                while (const uint64_t size = channel.Read(buffer.data(), buffer.size()))
                {
                    const auto found = frameOfSize.find(size);
                    const bool known = found != frameOfSize.end() &&
                                       MatchesPattern(buffer.data(), size, FrameOffset(found->second));
                    frames.push_back(known ? found->second : -1);
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
    return taken;
}

// Empty when every frame was taken once, whole, and each consumer took each writer's frames in the
// order they were written; otherwise the first fault.
std::string CheckFrames(const TakenFrames& taken)
{
    std::vector<int> times(kFrames);
    for (const auto& frames : taken)
    {
        std::vector<int64_t> lastOfWriter(kWriters, -1);
        for (const int64_t id : frames)
        {
            if (id < 0 || id < lastOfWriter[id % kWriters])
            {
                return id < 0 ? "a frame came that was not sent" : "frames came out of order";
            }
            lastOfWriter[id % kWriters] = id;
            ++times[id];
        }
    }
    for (size_t id = 0; id < kFrames; ++id)
    {
        if (times[id] != 1)
        {
            return "frame " + std::to_string(id) + " came " + std::to_string(times[id]) + " times";
        }
    }
    return "";
}

// Writer threads send the plan through the channel to an echoing child, consumer threads take the
// echoes, and the end marker goes and comes back.
void ExchangeWithEcho(IDataChannel& channel, ChildProcess& child, uint64_t seed)
{
    const auto sizes = FrameSizes(seed, kFrames, kLargest);
    auto taken = std::async(std::launch::async, [&] { return ConsumeFrames(channel, sizes); });
    EXPECT_TRUE(WriteFrames(channel, sizes, kWriters, true));
    if (!ReturnsPromptly(taken))
    {
        child.Kill(); // ends the consumers
        FAIL() << "the echoes did not end";
    }
    EXPECT_EQ(CheckFrames(taken.get()), "");
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

    const auto sizes = FrameSizes(3, kFrames, kLargest);
    auto taken = std::async(std::launch::async, [&] { return ConsumeFrames(*channel, sizes); });
    if (!ReturnsPromptly(taken))
    {
        child.Kill(); // the end of the child's output ends the consumers
        FAIL() << "the frames did not end";
    }
    EXPECT_EQ(CheckFrames(taken.get()), "");
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

// True when line is expected, where a '*' in expected stands for a number.
bool Matches(const std::string& line, const std::string& expected)
{
    const size_t star = expected.find('*');
    if (star == std::string::npos)
    {
        return line == expected;
    }
    const size_t rest = line.find_first_not_of("0123456789", star);
    return line.compare(0, star, expected, 0, star) == 0 && rest != std::string::npos && rest > star &&
           line.compare(rest, std::string::npos, expected, star + 1) == 0;
}

// The lines logged, exactly.
void ExpectLines(const LogCapture& log,
                 const std::vector<std::pair<google::LogSeverity, std::string>>& expected)
{
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i)
    {
        EXPECT_EQ(lines[i].severity, expected[i].first) << lines[i].text;
        EXPECT_TRUE(Matches(lines[i].text, expected[i].second)) << lines[i].text;
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

    ExpectLines(log, {{google::GLOG_WARNING, "The pipe has been closed from the other side."},
                      {google::GLOG_ERROR,
                       "The communication channel wrote * of the 16777224 bytes of a frame: the "
                       "stream can never be re-synchronised, and the channel writes nothing more."}});
}

} // namespace
