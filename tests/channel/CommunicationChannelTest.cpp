// The communication channel over streams that stand in for pipes: whole frames whatever the
// outputs, writers and consumers do, the hand-off of one frame at a time, the listener, and a
// reader thread that ends cleanly whatever its input, its listener or its owner does.
#include <Ostrel/Core/CommunicationChannel.h>

#include "channel/ChannelFakes.h"
#include "channel/FrameExchange.h"
#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

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

// Records the sizes it is told of; a test can wait until it has heard of n frames.
class RecordingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t size) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sizes.push_back(size);
        m_changed.notify_all();
    }
    void WaitForFrames(size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_sizes.size() >= n; });
    }
    std::vector<uint64_t> Sizes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sizes;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint64_t> m_sizes;
};

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CommunicationChannel, WriteMovesTheWholeFrameThroughAnOutputThatTakesPartOfEachWrite)
{
    ThreadedChannel t;
    t.output->maxPerWrite = 3;
    const auto payload = Pattern(10000);
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), payload.size());
    EXPECT_EQ(t.channel->Write(nullptr, 0), 0u);
    EXPECT_EQ(t.output->bytes, Concat(Concat(LengthField(10000), payload), LengthField(0)));
}

TEST(CommunicationChannel, OutputThatFailsPartWayTearsTheStreamForGood)
{
    LogCapture log;
    ThreadedChannel t;
    t.output->room = 8 + 100;
    const auto payload = Pattern(1000);
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

    // An output that takes none of a frame leaves the stream whole: the next frame goes.
    ThreadedChannel whole;
    whole.output->room = 0;
    EXPECT_EQ(whole.channel->Write(payload.data(), payload.size()), 0u);
    whole.output->room = ~uint64_t{0};
    EXPECT_EQ(whole.channel->Write(payload.data(), 10), 10u);
    EXPECT_EQ(log.Lines().size(), 1u);
}

// Writers share one channel whose output takes at most 4096 bytes per call and yields after each;
// consumers share the channel that reads those bytes, 4096 per call.
TEST(CommunicationChannel, WritersAndConsumersOnBoundedTransfersExchangeWholeFrames)
{
    constexpr int kWriters = 4;
    constexpr int kConsumers = 3;
    constexpr uint64_t kLargest = 40000;
    const auto sizes = FrameSizes(7, 120, kLargest);
    boost::intrusive_ptr<ByteQueue> wire(new ByteQueue(4096, 4096));
    auto sender = CommunicationChannel::Create(new ByteQueue, wire, true);
    auto receiver = CommunicationChannel::Create(wire, new RecordingOutput, true);

    auto taken =
        std::async(std::launch::async, [&] { return ConsumeFrames(*receiver, kConsumers, kLargest); });
    EXPECT_TRUE(WriteFrames(*sender, sizes, kWriters, true));
    if (!ReturnsPromptly(taken))
    {
        receiver->Cancel();
        FAIL() << "the consumers did not see the end of the frames";
    }
    EXPECT_EQ(CheckFrames(taken.get(), sizes, kWriters), "");
}

TEST(CommunicationChannel, TwoConsumersShareTheBytesOfOneFrame)
{
    ThreadedChannel t;
    std::vector<uint8_t> first(5);
    std::vector<uint8_t> second(5);
    auto a = t.ReadAsleep(first, 5);
    auto b = t.ReadAsleep(second, 5);
    const auto frame = Pattern(10);
    t.input->WriteFrame(frame);
    const bool bothReturned = ReturnsPromptly(a) && ReturnsPromptly(b);
    t.channel.reset(); // wakes a consumer left waiting
    ASSERT_TRUE(bothReturned);
    EXPECT_EQ(a.get(), 5u);
    EXPECT_EQ(b.get(), 5u);
    EXPECT_TRUE(Concat(first, second) == frame || Concat(second, first) == frame);
}

TEST(CommunicationChannel, ReadOfNothingReturnsAtOnce)
{
    ThreadedChannel t;
    uint8_t byte = 0xEE;
    auto read = std::async(std::launch::async, [&] { return t.channel->Read(&byte, 0); });
    const bool returned = ReturnsPromptly(read);
    t.channel->Cancel();
    ASSERT_TRUE(returned);
    EXPECT_EQ(read.get(), 0u);
    EXPECT_EQ(byte, 0xEE);
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

    // Unthreaded, the length comes from the input itself, whole even 3 bytes per read.
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue(3));
    auto unthreaded = CommunicationChannel::Create(input, new RecordingOutput, false);
    input->WriteBytes(LengthField(0x0123456789ABCDEF));
    EXPECT_EQ(unthreaded->ReadMessageSize(), 0x0123456789ABCDEFu);
    input->WriteBytes({1, 2, 3});
    input->Close();
    EXPECT_EQ(unthreaded->ReadMessageSize(), 0u);
}

class ThrowingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t) override { throw std::runtime_error("listener failed"); }
};

TEST(CommunicationChannel, ListenerThatThrowsIsLoggedAndTheFramesStayReadable)
{
    LogCapture log;
    ThreadedChannel t;
    ThrowingListener listener;
    t.channel->SetListener(&listener);
    t.input->WriteFrame(Pattern(5));
    t.input->WriteFrame(Pattern(7));
    std::vector<uint8_t> frame(7);
    EXPECT_EQ(t.channel->Read(frame.data(), frame.size()), 5u);
    EXPECT_EQ(t.channel->Read(frame.data(), frame.size()), 7u);
    EXPECT_EQ(frame, Pattern(7));
    t.channel->SetListener(nullptr);
    EXPECT_EQ(log.Count(google::GLOG_ERROR,
                        "The listener of the communication channel threw: listener failed; "
                        "the frame stays readable and the channel goes on."),
              2);
    EXPECT_EQ(log.Lines().size(), 2u);
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
    listener.WaitForFrames(1);
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

TEST(CommunicationChannel, InputThatThrowsEndsTheReaderWithOneError)
{
    LogCapture log;
    auto channel = CommunicationChannel::Create(new ThrowingInput, new RecordingOutput, true);
    uint8_t out[4];
    EXPECT_EQ(channel->Read(out, 4), 0u);
    channel.reset();
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR,
                        "The reader thread of the communication channel stops: Pipe is invalid"),
              1);
}

// The input closes in the middle of a frame as a pipe does: a short read, then a read that throws.
TEST(CommunicationChannel, FrameCutShortIsDroppedWithTheChannelsOwnError)
{
    LogCapture log;
    ThreadedChannel t;
    t.input->throwWhenClosed = true;
    t.input->WriteBytes(Concat(LengthField(100), Pattern(40)));
    t.input->Close(); // the peer goes away mid-frame
    uint8_t out[100];
    EXPECT_EQ(t.channel->Read(out, 100), 0u);
    EXPECT_FALSE(t.channel->IsDataAvailable());
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR,
                        "The communication channel received 40 of the 100 bytes of a frame; "
                        "the frame is dropped and its reader thread stops."),
              1);

    // Released in the middle of a frame, the channel logs nothing: the cut is its own doing.
    LogCapture quiet;
    ThreadedChannel released;
    released.input->throwWhenClosed = true;
    released.input->WriteBytes(Concat(LengthField(100), Pattern(40)));
    released.input->WaitForReads(2);
    released.channel.reset();
    EXPECT_TRUE(quiet.Lines().empty());
}

TEST(CommunicationChannel, LengthNoBufferCanHoldEndsTheReaderWithAnError)
{
    for (const uint64_t length : {~uint64_t{0}, uint64_t{1} << 63})
    {
        LogCapture log;
        ThreadedChannel t;
        t.input->WriteBytes(LengthField(length));
        uint8_t out[8];
        EXPECT_EQ(t.channel->Read(out, 8), 0u);
        EXPECT_EQ(log.Count(google::GLOG_ERROR, "The communication channel cannot hold a frame of " +
                                                    std::to_string(length) +
                                                    " bytes; its reader thread stops."),
                  1);
    }
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

TEST(CommunicationChannel, ListenerHearsOnlyOfFramesOfferedAfterItWasSet)
{
    RecordingListener first;
    RecordingListener second;
    ThreadedChannel t;
    t.channel->SetListener(&first);
    t.input->WriteFrame(Pattern(5));
    t.input->WriteFrame(Pattern(16));
    first.WaitForFrames(1);
    t.channel->SetListener(&second);
    uint8_t out[16];
    EXPECT_EQ(t.channel->Read(out, 5), 5u);
    EXPECT_EQ(t.channel->Read(out, 16), 16u);
    t.channel->SetListener(nullptr);
    EXPECT_EQ(first.Sizes(), std::vector<uint64_t>{5});
    EXPECT_EQ(second.Sizes(), std::vector<uint64_t>{16});
}

TEST(CommunicationChannel, UnthreadedChannelForwardsAndCancelReachesOnlyTheInput)
{
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue);
    boost::intrusive_ptr<RecordingOutput> output(new RecordingOutput);
    auto channel = CommunicationChannel::Create(input, output, false);
    RecordingListener listener;
    channel->SetListener(&listener);
    input->WriteFrame(Pattern(6));
    EXPECT_EQ(channel->ReadMessageSize(), 6u);
    uint8_t out[6];
    EXPECT_EQ(channel->Read(out, 6), 6u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), Pattern(6));
    EXPECT_FALSE(channel->IsDataAvailable());
    EXPECT_TRUE(listener.Sizes().empty());

    boost::intrusive_ptr<IByteDataOutput> asOutput = channel;
    asOutput->Cancel();
    EXPECT_EQ(input->Cancels(), 1);
    EXPECT_EQ(output->cancels, 0);
    EXPECT_EQ(channel->Read(out, 6), 0u);
}

} // namespace
