// The communication channel over streams that stand in for pipes: whole frames whatever the
// outputs, writers and consumers do, the hand-off of one frame at a time, the listener, and a
// reader thread that ends cleanly whatever its input, its listener or its owner does.
#include <Ostrel/Core/CommunicationChannel.h>

#include "channel/ChannelFakes.h"
#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include <future>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

struct ThreadedChannel
{
    boost::intrusive_ptr<ByteQueue> input{new ByteQueue};
    boost::intrusive_ptr<RecordingOutput> output{new RecordingOutput};
    boost::intrusive_ptr<IDataChannel> channel = CommunicationChannel::Create(input, output, true);

    // Starts a Read on another thread and returns once that thread sleeps in the channel.
    std::future<uint64_t> ReadAsleep(std::vector<uint8_t>& buffer, uint64_t size)
    {
        std::promise<pid_t> started;
        auto result = std::async(std::launch::async,
                                 [this, &buffer, size, &started]
                                 {
                                     IDataChannel* raw = channel.get();
                                     started.set_value(KernelThreadId());
                                     return raw->Read(buffer.data(), size);
                                 });
        EXPECT_TRUE(WaitUntilAsleep(started.get_future().get()));
        return result;
    }
};

// Records the sizes it is told of, to be read once SetListener(nullptr) has returned (the listener
// runs under the channel's lock); heard is kept at the first.
class RecordingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t size) override
    {
        sizes.push_back(size);
        if (sizes.size() == 1)
        {
            heard.set_value();
        }
    }
    std::vector<uint64_t> sizes;
    std::promise<void> heard;
};

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CommunicationChannel, WriteMovesWholeFramesOrTearsTheStreamForGood)
{
    LogCapture log;
    ThreadedChannel t;
    t.output->maxPerWrite = 3;
    const auto payload = Pattern(1000);
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), payload.size());
    EXPECT_EQ(t.channel->Write(nullptr, 0), 0u);
    EXPECT_EQ(t.output->bytes, Concat(Concat(LengthField(1000), payload), LengthField(0)));

    // An output that takes none of a frame leaves the stream whole: the next frame goes.
    t.output->room = 0;
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), 0u);
    EXPECT_TRUE(log.Lines().empty());
    // One that fails part-way tears it: nothing more is written.
    t.output->room = 8 + 100;
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), 0u);
    t.output->room = ~uint64_t{0};
    const int calls = t.output->calls;
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), 0u);
    EXPECT_EQ(t.output->calls, calls);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR,
                        "The communication channel wrote 108 of the 1008 bytes of a frame: the "
                        "stream can never be re-synchronised, and the channel writes nothing more."),
              1);
}

// Every waiting consumer makes progress while bytes are there, and a read of nothing returns at
// once.
TEST(CommunicationChannel, ConsumersShareTheBytesOfOneFrame)
{
    ThreadedChannel t;
    std::vector<uint8_t> first(5);
    std::vector<uint8_t> second(5);
    auto a = t.ReadAsleep(first, 5);
    auto b = t.ReadAsleep(second, 5);
    auto nothing = std::async(std::launch::async, [&t, &first] { return t.channel->Read(first.data(), 0); });
    const bool returned = ReturnsPromptly(nothing);
    t.input->WriteFrame(Pattern(10));
    const bool bothReturned = ReturnsPromptly(a) && ReturnsPromptly(b);
    t.channel.reset(); // wakes a consumer left waiting
    ASSERT_TRUE(returned && bothReturned);
    EXPECT_EQ(nothing.get(), 0u);
    EXPECT_EQ(a.get(), 5u);
    EXPECT_EQ(b.get(), 5u);
    EXPECT_TRUE(Concat(first, second) == Pattern(10) || Concat(second, first) == Pattern(10));
}

// A consumer on a boost::thread leaves its wait when interrupted; the next frame goes to another.
TEST(CommunicationChannel, InterruptedConsumerLeavesTheFrameToOthers)
{
    ThreadedChannel t;
    std::promise<pid_t> started;
    std::promise<bool> interrupted;
    boost::thread consumer(
        [&]
        {
            started.set_value(KernelThreadId());
            uint8_t out[4];
            try
            {
                t.channel->Read(out, 4);
                interrupted.set_value(false);
            }
            catch (const boost::thread_interrupted&)
            {
                interrupted.set_value(true);
            }
        });
    ASSERT_TRUE(WaitUntilAsleep(started.get_future().get()));
    consumer.interrupt();
    auto result = interrupted.get_future();
    ASSERT_TRUE(ReturnsPromptly(result));
    EXPECT_TRUE(result.get());
    consumer.join();
    t.input->WriteFrame(Pattern(4));
    uint8_t out[4];
    EXPECT_EQ(t.channel->Read(out, 4), 4u);
}

TEST(CommunicationChannel, ReadMessageSizeTellsTheFrameHeldWithoutTakingIt)
{
    ThreadedChannel t;
    t.input->WriteFrame(Pattern(6));
    t.input->WriteFrame(Pattern(9, 6));
    auto size = std::async(std::launch::async, [&] { return t.channel->ReadMessageSize(); });
    if (!ReturnsPromptly(size))
    {
        t.input->Cancel();
        FAIL() << "ReadMessageSize did not return";
    }
    ASSERT_EQ(size.get(), 6u);
    EXPECT_TRUE(t.channel->IsDataAvailable());
    std::vector<uint8_t> frame(15);
    ASSERT_EQ(t.channel->Read(frame.data(), frame.size()), 6u);
    EXPECT_EQ(t.channel->ReadMessageSize(), 9u);
    ASSERT_EQ(t.channel->Read(frame.data() + 6, frame.size()), 9u);
    EXPECT_EQ(frame, Pattern(15));
    t.input->WriteFrame({});
    EXPECT_EQ(t.channel->ReadMessageSize(), 0u);
}

// Holds the only reference to its channel and lets it go when told of a frame.
class ReleasingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t) override
    {
        channel.reset();
        released.set_value();
    }
    boost::intrusive_ptr<IDataChannel> channel;
    std::promise<void> released;
};

TEST(CommunicationChannel, ListenerMayReleaseTheLastReference)
{
    ReleasingListener listener;
    std::promise<void> inputGone;
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue);
    input->onDestroyed = [&] { inputGone.set_value(); };
    listener.channel = CommunicationChannel::Create(input, new RecordingOutput, true);
    listener.channel->SetListener(&listener);
    input->WriteFrame(Pattern(4));
    input.reset();
    auto released = listener.released.get_future();
    ASSERT_TRUE(ReturnsPromptly(released)) << "the release from the listener did not return";
    // The reader thread ends on its own and lets go of the input.
    auto gone = inputGone.get_future();
    EXPECT_TRUE(ReturnsPromptly(gone));
}

TEST(CommunicationChannel, EndMarkerEndsTheReaderAndWakesAWaitingConsumer)
{
    ThreadedChannel t;
    std::vector<uint8_t> buffer(8, 0xEE);
    auto waiting = t.ReadAsleep(buffer, buffer.size());
    t.input->WriteBytes(Concat(Concat(LengthField(0), LengthField(4)), Pattern(4)));
    ASSERT_TRUE(ReturnsPromptly(waiting));
    EXPECT_EQ(waiting.get(), 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(8, 0xEE));
    EXPECT_EQ(t.channel->Read(buffer.data(), buffer.size()), 0u);
    EXPECT_FALSE(t.channel->IsDataAvailable());
    // The frame after the end marker is never read.
    EXPECT_EQ(t.input->Available(), 12u);
}

TEST(CommunicationChannel, ReleaseIsPromptWhereverTheReaderAndTheConsumersAre)
{
    auto releasesPromptly = [](ThreadedChannel& t)
    {
        auto release = std::async(std::launch::async, [&t] { t.channel.reset(); });
        return ReturnsPromptly(release);
    };
    RecordingListener listener;
    ThreadedChannel waitingForConsumer;
    waitingForConsumer.channel->SetListener(&listener);
    waitingForConsumer.input->WriteFrame(Pattern(32));
    listener.heard.get_future().wait();
    EXPECT_TRUE(releasesPromptly(waitingForConsumer));

    ThreadedChannel blockedInInput;
    blockedInInput.input->WaitForReads(1);
    EXPECT_TRUE(releasesPromptly(blockedInInput));
    EXPECT_GE(blockedInInput.input->Cancels(), 1);

    // A consumer asleep in Read, holding no reference of its own, is woken and returns 0.
    ThreadedChannel consumerInside;
    std::vector<uint8_t> buffer(4);
    auto waiting = consumerInside.ReadAsleep(buffer, buffer.size());
    EXPECT_TRUE(releasesPromptly(consumerInside));
    ASSERT_TRUE(ReturnsPromptly(waiting));
    EXPECT_EQ(waiting.get(), 0u);
}

// A child made by fork (without exec) that releases its copy of a channel ends at once: the
// reader thread is its parent's, and the child asks nothing of it.
TEST(CommunicationChannel, AForkedChildReleasesItsCopyPromptly)
{
    ThreadedChannel t;
    t.input->WaitForReads(1);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0)
    {
        ::alarm(static_cast<unsigned>(kPrompt.count()));
        t.channel.reset();
        ::_exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's release hung";
}

// Each way the reader thread can fail ends it with one line that says why, and a consumer gets 0.
// The input closes as a pipe does: a short read, then a read that throws (at once when empty).
TEST(CommunicationChannel, ReaderThatFailsEndsWithOneLineSayingWhy)
{
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases{
        {LengthField(~uint64_t{0}), "The communication channel cannot hold a frame of 18446744073709551615 "
                                    "bytes; its reader thread stops."},
        {LengthField(uint64_t{1} << 63), "The communication channel cannot hold a frame of "
                                         "9223372036854775808 bytes; its reader thread stops."},
        {Concat(LengthField(100), Pattern(40)),
         "The communication channel received 40 of the 100 bytes of a frame; "
         "the frame is dropped and its reader thread stops."},
        {{1, 2, 3},
         "The communication channel received 3 of the 8 bytes of a frame length; its reader thread stops."},
        {{}, "The reader thread of the communication channel stops: Pipe is invalid"}};
    for (const auto& [bytes, line] : cases)
    {
        LogCapture log;
        ThreadedChannel t;
        t.input->throwWhenClosed = true;
        t.input->WriteBytes(bytes);
        t.input->Cancel(); // the peer goes
        uint8_t out[100];
        EXPECT_EQ(t.channel->Read(out, sizeof out), 0u);
        t.channel.reset();
        ASSERT_EQ(log.Lines().size(), 1u) << line;
        EXPECT_EQ(log.Count(google::GLOG_ERROR, line), 1);
    }

    // Released in the middle of a frame, the channel logs nothing: the cut is its own doing.
    LogCapture quiet;
    ThreadedChannel released;
    released.input->throwWhenClosed = true;
    released.input->WriteBytes(Concat(LengthField(100), Pattern(40)));
    released.input->WaitForReads(2);
    released.channel.reset();
    EXPECT_TRUE(quiet.Lines().empty());
}

TEST(CommunicationChannel, FrameReadInPiecesIsConsumedOnlyAtItsEnd)
{
    ThreadedChannel t;
    t.input->WriteFrame(Pattern(10));
    t.input->WriteFrame(Pattern(3, 10));
    std::vector<uint8_t> out(100, 0xEE);
    EXPECT_EQ(t.channel->Read(out.data(), 4), 4u);
    EXPECT_TRUE(t.channel->IsDataAvailable());
    // More than remains: only the frame's bytes are copied.
    EXPECT_EQ(t.channel->Read(out.data() + 4, 96), 6u);
    EXPECT_EQ(out[10], 0xEE);
    EXPECT_EQ(t.channel->Read(out.data() + 10, 3), 3u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 13), Pattern(13));
    EXPECT_FALSE(t.channel->IsDataAvailable());
}

class ThrowingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t) override { throw std::runtime_error("listener failed"); }
};

// A listener hears only of frames offered after it was set; one that throws is logged, and the
// frame stays readable.
TEST(CommunicationChannel, ListenerHearsOfLaterFramesAndMayThrow)
{
    LogCapture log;
    RecordingListener first;
    ThrowingListener second;
    ThreadedChannel t;
    t.channel->SetListener(&first);
    t.input->WriteFrame(Pattern(5));
    t.input->WriteFrame(Pattern(16));
    first.heard.get_future().wait();
    t.channel->SetListener(&second);
    std::vector<uint8_t> out(21);
    EXPECT_EQ(t.channel->Read(out.data(), 5), 5u);
    EXPECT_EQ(t.channel->Read(out.data() + 5, 16), 16u);
    EXPECT_EQ(out, Concat(Pattern(5), Pattern(16)));
    t.channel->SetListener(nullptr);
    EXPECT_EQ(first.sizes, std::vector<uint64_t>{5});
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR,
                        "The listener of the communication channel threw: listener failed; "
                        "the frame stays readable and the channel goes on."),
              1);
}

TEST(CommunicationChannel, UnthreadedChannelForwardsAndCancelReachesOnlyTheInput)
{
    // Each Read of the input moves at most 3 bytes; ReadMessageSize still takes all 8.
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue(3));
    boost::intrusive_ptr<RecordingOutput> output(new RecordingOutput);
    auto channel = CommunicationChannel::Create(input, output, false);
    RecordingListener listener;
    channel->SetListener(&listener);
    input->WriteBytes(Concat(LengthField(0x0123456789ABCDEF), Pattern(3)));
    EXPECT_EQ(channel->ReadMessageSize(), 0x0123456789ABCDEFu);
    uint8_t out[6];
    EXPECT_EQ(channel->Read(out, 6), 3u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), Pattern(3));
    EXPECT_FALSE(channel->IsDataAvailable());

    boost::intrusive_ptr<IByteDataOutput> asOutput = channel;
    asOutput->Cancel();
    EXPECT_EQ(input->Cancels(), 1);
    EXPECT_EQ(output->cancels, 0);
    EXPECT_EQ(channel->ReadMessageSize(), 0u);
    EXPECT_TRUE(listener.sizes.empty());
}

} // namespace
