// Threaded channels between two processes over the pipes: frames of every size class come back
// intact from an echoing child, and a child killed mid-frame ends this side's reader thread
// cleanly, with one ERROR line, a Read that returns 0 and a release that returns promptly.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <thread>
#include <unistd.h>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

constexpr uint64_t kLargestFrame = 16u << 20;

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

// A POSIX pipe that carries the child's ready byte to us.
struct ReadySignal
{
    ReadySignal() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~ReadySignal()
    {
        Close(fds[0]);
        Close(fds[1]);
    }
    // Closes our copy of the write end once the child holds its own, then waits for the byte.
    bool Wait()
    {
        Close(fds[1]);
        char byte = 0;
        return ::read(fds[0], &byte, 1) == 1 && byte == 'R';
    }
    static void Close(int& fd)
    {
        if (fd >= 0)
        {
            ::close(fd);
            fd = -1;
        }
    }
    int fds[2] = {-1, -1};
};

// This side of a two-process channel: the server ends of two fresh pipes and a threaded channel
// over them; the child gets the two names.
struct ParentSide
{
    std::string toChild = UniquePipeName();
    std::string toParent = UniquePipeName();
    boost::intrusive_ptr<IDataChannel> channel;

    ParentSide()
    {
        auto output = DataOutputPipe::Create(toChild, true);
        auto input = DataInputPipe::Create(toParent, true);
        channel = CommunicationChannel::Create(input, output, true);
    }

    // Releases the channel on another thread; true when that returned promptly.
    bool ReleasesPromptly()
    {
        auto released = std::async(std::launch::async, [this] { channel.reset(); });
        return ReturnsPromptly(released);
    }
};

int ErrorLines(const LogCapture& log)
{
    const auto lines = log.Lines();
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [](const LogLine& line) { return line.severity == google::GLOG_ERROR; }));
}

TEST(ChannelProcess, FramesOfEverySizeComeBackIntactFromAnotherProcess)
{
    const std::vector<uint64_t> sizes{1,
                                      2,
                                      3,
                                      7,
                                      8,
                                      9,
                                      15,
                                      16,
                                      17,
                                      4095,
                                      4096,
                                      4097,
                                      8191,
                                      65535,
                                      65536,
                                      65537,
                                      (1u << 20) + 3,
                                      (4u << 20) - 1,
                                      kLargestFrame - 1,
                                      kLargestFrame,
                                      1,
                                      kLargestFrame};
    ParentSide side;
    ChildProcess child({"channel-echo", side.toChild, side.toParent});

    // All the frames go out from another thread while this one checks the echoes, so several
    // frames are on their way at once in both directions.
    auto writer =
        std::async(std::launch::async,
                   [&]
                   {
                       uint64_t whole = 0;
                       for (uint64_t i = 0; i < sizes.size(); ++i)
                       {
                           const auto frame = Pattern(sizes[i], i * 1000003);
                           whole += side.channel->Write(frame.data(), frame.size()) == frame.size() ? 1 : 0;
                       }
                       side.channel->Write(nullptr, 0);
                       return whole;
                   });

    // One byte more than the largest frame, so that a frame longer than it was sent would show.
    std::vector<uint8_t> echo(kLargestFrame + 1);
    for (uint64_t i = 0; i < sizes.size(); ++i)
    {
        std::fill_n(echo.begin(), std::min<uint64_t>(sizes[i] + 1, echo.size()), uint8_t{0xEE});
        const uint64_t size = side.channel->Read(echo.data(), echo.size());
        ASSERT_EQ(size, sizes[i]) << "frame " << i;
        ASSERT_TRUE(MatchesPattern(echo.data(), size, i * 1000003))
            << "frame " << i << " of " << size << " bytes";
    }
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_EQ(writer.get(), sizes.size());

    // The child's end marker ends our reader thread: Read says "no more" at once.
    auto last = std::async(std::launch::async, [&] { return side.channel->Read(echo.data(), echo.size()); });
    ASSERT_TRUE(ReturnsPromptly(last));
    EXPECT_EQ(last.get(), 0u);
    EXPECT_FALSE(side.channel->IsDataAvailable());
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(side.ReleasesPromptly());
}

TEST(ChannelProcess, ManySmallFramesKeepTheirOrder)
{
    ParentSide side;
    ChildProcess child({"channel-echo", side.toChild, side.toParent});
    constexpr uint64_t kFrames = 3000;
    auto writer = std::async(std::launch::async,
                             [&]
                             {
                                 for (uint64_t i = 0; i < kFrames; ++i)
                                 {
                                     const auto frame = Pattern(1 + i % 97, i);
                                     side.channel->Write(frame.data(), frame.size());
                                 }
                                 side.channel->Write(nullptr, 0);
                             });
    std::vector<uint8_t> echo(256);
    for (uint64_t i = 0; i < kFrames; ++i)
    {
        const uint64_t size = side.channel->Read(echo.data(), echo.size());
        ASSERT_EQ(size, 1 + i % 97) << "frame " << i;
        ASSERT_TRUE(MatchesPattern(echo.data(), size, i)) << "frame " << i;
    }
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_EQ(side.channel->Read(echo.data(), echo.size()), 0u);
    EXPECT_EQ(child.Wait(), 0);
}

TEST(ChannelProcess, PeerKilledMidFrameEndsTheReaderThreadWithOneError)
{
    LogCapture log;
    ParentSide side;
    ReadySignal ready;
    ChildProcess child({"channel-torn-frame", side.toChild, side.toParent}, {false, -1, ready.fds[1]});

    // A consumer already waiting when the peer dies must be woken, and write nothing.
    std::vector<uint8_t> buffer(4096, 0xEE);
    auto waiting =
        std::async(std::launch::async, [&] { return side.channel->Read(buffer.data(), buffer.size()); });
    ASSERT_TRUE(ready.Wait());
    // The child has sent the length and one MiB of the frame: nothing is whole yet.
    EXPECT_FALSE(side.channel->IsDataAvailable());
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);

    child.Kill();
    ASSERT_TRUE(ReturnsPromptly(waiting));
    EXPECT_EQ(waiting.get(), 0u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);

    // The torn frame is never published, and a later Read returns 0 at once.
    auto later =
        std::async(std::launch::async, [&] { return side.channel->Read(buffer.data(), buffer.size()); });
    ASSERT_TRUE(ReturnsPromptly(later));
    EXPECT_EQ(later.get(), 0u);
    EXPECT_FALSE(side.channel->IsDataAvailable());
    EXPECT_EQ(ErrorLines(log), 1);
    EXPECT_TRUE(side.ReleasesPromptly());
}

TEST(ChannelProcess, PeerKilledWithALargeFrameInFlightLeavesNothingHanging)
{
    ParentSide side;
    ReadySignal ready;
    ChildProcess child({"channel-echo", side.toChild, side.toParent, "ready"}, {false, -1, ready.fds[1]});
    ASSERT_TRUE(ready.Wait());

    // The child is killed while the frame is going out or coming back, whichever it has reached.
    const auto frame = Pattern(kLargestFrame);
    auto writer = std::async(std::launch::async,
                             [&]() -> uint64_t
                             {
                                 try
                                 {
                                     return side.channel->Write(frame.data(), frame.size());
                                 }
                                 catch (const std::exception&)
                                 {
                                     return 0; // the pipe closed by the failure refuses the payload
                                 }
                             });
    std::vector<uint8_t> echo(kLargestFrame);
    auto reader =
        std::async(std::launch::async, [&] { return side.channel->Read(echo.data(), echo.size()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    child.Kill();
    ASSERT_TRUE(ReturnsPromptly(writer));
    ASSERT_TRUE(ReturnsPromptly(reader));
    // Whatever came back whole is the frame itself; nothing else is ever handed over.
    const uint64_t got = reader.get();
    if (got != 0)
    {
        EXPECT_EQ(got, kLargestFrame);
        EXPECT_TRUE(MatchesPattern(echo.data(), got, 0));
    }
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
    auto after = std::async(std::launch::async, [&] { return side.channel->Read(echo.data(), echo.size()); });
    ASSERT_TRUE(ReturnsPromptly(after));
    EXPECT_EQ(after.get(), 0u);
    EXPECT_TRUE(side.ReleasesPromptly());
}

} // namespace
