// The communication channel: framing, the hand-off of one frame at a time, the listener, and a
// reader thread that ends cleanly whatever its input does.
#include <Ostrel/Core/CommunicationChannel.h>

#include "channel/ChannelFakes.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace Ostrel::Core;
using zelio_test::ByteQueue;
using zelio_test::LogCapture;
using zelio_test::RecordingOutput;
using zelio_test::ThrowingInput;

namespace
{

constexpr auto kPrompt = std::chrono::seconds(5);

class RecordingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t size) override { sizes.push_back(size); }
    std::vector<uint64_t> sizes;
};

std::vector<uint8_t> Payload(size_t size, uint8_t seed = 1)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
    {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return bytes;
}

struct ThreadedChannel
{
    boost::intrusive_ptr<ByteQueue> input{new ByteQueue};
    boost::intrusive_ptr<RecordingOutput> output{new RecordingOutput};
    boost::intrusive_ptr<IDataChannel> channel = CommunicationChannel::Create(input, output, true);
};

// Polls until the condition holds or a generous bound passes.
template <class Condition> bool Eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kPrompt;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs the release of the last reference on another thread and tells whether it returned promptly.
bool ReleasesPromptly(boost::intrusive_ptr<IDataChannel>& channel)
{
    auto release = std::async(std::launch::async, [&channel] { channel.reset(); });
    return release.wait_for(kPrompt) == std::future_status::ready;
}

TEST(CommunicationChannel, WriteSendsTheLengthThenThePayloadAndReturnsTheSecondCount)
{
    ThreadedChannel t;
    t.output->shortBy = 2;
    const auto payload = Payload(10);
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), 8u);
    ASSERT_EQ(t.output->writes.size(), 2u);
    EXPECT_EQ(t.output->writes[0], (std::vector<uint8_t>{10, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(t.output->writes[1], payload);

    EXPECT_EQ(t.channel->Write(nullptr, 0), 0u);
    ASSERT_EQ(t.output->writes.size(), 4u);
    EXPECT_EQ(t.output->writes[2], std::vector<uint8_t>(8, 0));
    EXPECT_TRUE(t.output->writes[3].empty());
}

TEST(CommunicationChannel, WriteSendsNoPayloadAfterALengthTheOutputDidNotTake)
{
    ThreadedChannel t;
    t.output->failLength = true;
    const auto payload = Payload(10);
    EXPECT_EQ(t.channel->Write(payload.data(), payload.size()), 0u);
    EXPECT_EQ(t.output->writes.size(), 1u);
}

TEST(CommunicationChannel, FrameReadInPiecesIsConsumedOnlyAtItsEnd)
{
    ThreadedChannel t;
    const auto first = Payload(10);
    t.input->WriteFrame(first);
    t.input->WriteFrame(Payload(3, 100));

    uint8_t part[10] = {};
    EXPECT_EQ(t.channel->Read(part, 4), 4u);
    EXPECT_TRUE(t.channel->IsDataAvailable());
    EXPECT_EQ(t.channel->Read(part + 4, 6), 6u);
    EXPECT_EQ(std::vector<uint8_t>(part, part + 10), first);

    // The reader thread goes on to the next frame only now.
    uint8_t next[3] = {};
    EXPECT_EQ(t.channel->Read(next, 3), 3u);
    EXPECT_EQ(std::vector<uint8_t>(next, next + 3), Payload(3, 100));
    EXPECT_FALSE(t.channel->IsDataAvailable());
}

TEST(CommunicationChannel, ReadOfMoreThanRemainsCopiesOnlyTheFrame)
{
    ThreadedChannel t;
    t.input->WriteFrame(Payload(10));
    std::vector<uint8_t> out(100, 0xEE);
    EXPECT_EQ(t.channel->Read(out.data(), out.size()), 10u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), Payload(10));
    EXPECT_EQ(out[10], 0xEE);
    EXPECT_FALSE(t.channel->IsDataAvailable());
}

TEST(CommunicationChannel, ListenerHearsOnlyOfFramesPublishedAfterItWasSet)
{
    ThreadedChannel t;
    RecordingListener listener;
    t.input->WriteFrame(Payload(5));
    ASSERT_TRUE(Eventually([&] { return t.channel->IsDataAvailable(); }));
    t.channel->SetListener(&listener);

    uint8_t out[16];
    EXPECT_EQ(t.channel->Read(out, 5), 5u);
    t.input->WriteFrame(Payload(16));
    ASSERT_TRUE(Eventually([&] { return t.channel->IsDataAvailable(); }));
    EXPECT_EQ(t.channel->Read(out, 16), 16u);
    t.channel->SetListener(nullptr);
    EXPECT_EQ(listener.sizes, std::vector<uint64_t>{16});
}

TEST(CommunicationChannel, EndMarkerEndsTheReaderAndLaterReadsReturnZero)
{
    ThreadedChannel t;
    std::promise<uint64_t> waitingRead;
    std::thread consumer(
        [&]
        {
            uint8_t out[8];
            waitingRead.set_value(t.channel->Read(out, 8));
        });
    t.input->WriteFrame({});
    auto result = waitingRead.get_future();
    ASSERT_EQ(result.wait_for(kPrompt), std::future_status::ready);
    EXPECT_EQ(result.get(), 0u);
    consumer.join();

    uint8_t out[8] = {};
    EXPECT_EQ(t.channel->Read(out, 8), 0u);
    EXPECT_FALSE(t.channel->IsDataAvailable());
    t.input->WriteFrame(Payload(4));
    EXPECT_FALSE(t.channel->IsDataAvailable());
}

TEST(CommunicationChannel, CancelThroughTheOutputInterfaceCancelsTheInput)
{
    ThreadedChannel t;
    boost::intrusive_ptr<IByteDataOutput> asOutput = t.channel;
    asOutput->Cancel();
    EXPECT_GE(t.input->Cancels(), 1);
    EXPECT_EQ(t.output->cancels, 0);
}

TEST(CommunicationChannel, UnthreadedChannelForwardsReads)
{
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue);
    boost::intrusive_ptr<RecordingOutput> output(new RecordingOutput);
    auto channel = CommunicationChannel::Create(input, output, false);
    RecordingListener listener;
    channel->SetListener(&listener);
    input->WriteFrame(Payload(6));

    EXPECT_EQ(channel->ReadMessageSize(), 6u);
    uint8_t out[6];
    EXPECT_EQ(channel->Read(out, 6), 6u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), Payload(6));
    EXPECT_FALSE(channel->IsDataAvailable());
    EXPECT_TRUE(listener.sizes.empty());

    input->Close();
    EXPECT_EQ(channel->ReadMessageSize(), 0u);
    EXPECT_EQ(channel->Read(out, 6), 0u);
}

TEST(CommunicationChannel, ReleaseWhileTheReaderWaitsForTheConsumerIsPrompt)
{
    ThreadedChannel t;
    t.input->WriteFrame(Payload(32));
    ASSERT_TRUE(Eventually([&] { return t.channel->IsDataAvailable(); }));
    EXPECT_TRUE(ReleasesPromptly(t.channel));
}

TEST(CommunicationChannel, ReleaseWhileTheReaderIsBlockedInItsInputIsPrompt)
{
    ThreadedChannel t;
    t.input->WaitForReads(1);
    EXPECT_TRUE(ReleasesPromptly(t.channel));
    EXPECT_GE(t.input->Cancels(), 1);
}

TEST(CommunicationChannel, ReleaseWaitsForAConsumerWokenInsideRead)
{
    ThreadedChannel t;
    IDataChannel* raw = t.channel.get();
    std::atomic<bool> returned{false};
    uint64_t result = 99;
    std::thread consumer(
        [&]
        {
            uint8_t out[4] = {};
            result = raw->Read(out, 4);
            returned = true;
        });
    t.input->WaitForReads(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let the consumer start waiting
    EXPECT_TRUE(ReleasesPromptly(t.channel));
    consumer.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(result, 0u);
}

TEST(CommunicationChannel, InputThatThrowsEndsTheReaderWithOneErrorAndWakesTheConsumer)
{
    LogCapture log;
    boost::intrusive_ptr<ThrowingInput> input(new ThrowingInput);
    boost::intrusive_ptr<RecordingOutput> output(new RecordingOutput);
    auto channel = CommunicationChannel::Create(input, output, true);
    uint8_t out[4];
    EXPECT_EQ(channel->Read(out, 4), 0u);
    EXPECT_TRUE(ReleasesPromptly(channel));
    EXPECT_EQ(
        log.CountStartingWith(google::GLOG_ERROR, "The reader thread of the communication channel stops"), 1);
}

TEST(CommunicationChannel, FrameCutShortIsNotPublished)
{
    LogCapture log;
    ThreadedChannel t;
    const uint8_t length[8] = {100, 0, 0, 0, 0, 0, 0, 0};
    t.input->Write(length, 8);
    const auto part = Payload(40);
    t.input->Write(part.data(), part.size());
    t.input->Close(); // the peer goes away mid-frame

    uint8_t out[100];
    EXPECT_EQ(t.channel->Read(out, 100), 0u);
    EXPECT_FALSE(t.channel->IsDataAvailable());
    EXPECT_EQ(
        log.CountStartingWith(google::GLOG_ERROR, "The communication channel received 40 of the 100 bytes"),
        1);
}

TEST(CommunicationChannel, LengthNoBufferCanHoldEndsTheReaderWithAnError)
{
    for (const uint64_t length : {~uint64_t{0}, uint64_t{1} << 63})
    {
        LogCapture log;
        ThreadedChannel t;
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i)
        {
            bytes[i] = static_cast<uint8_t>(length >> (8 * i));
        }
        t.input->Write(bytes, 8);
        uint8_t out[8];
        EXPECT_EQ(t.channel->Read(out, 8), 0u);
        EXPECT_EQ(
            log.CountStartingWith(google::GLOG_ERROR, "The communication channel cannot hold a frame of"), 1);
    }
}

// A corrupt length far beyond what the machine holds: memory follows the bytes that come, so the
// frame ends as a short one when the peer goes, not in an allocation of the whole claimed length.
TEST(CommunicationChannel, CorruptHugeLengthCostsOnlyTheBytesThatArrive)
{
    LogCapture log;
    ThreadedChannel t;
    const uint64_t length = uint64_t{1} << 40;
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
    {
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    }
    t.input->Write(bytes, 8);
    const auto part = Payload(1000);
    t.input->Write(part.data(), part.size());
    t.input->Close();
    uint8_t out[8];
    EXPECT_EQ(t.channel->Read(out, 8), 0u);
    EXPECT_EQ(log.CountStartingWith(google::GLOG_ERROR,
                                    "The communication channel received 1000 of the 1099511627776 bytes"),
              1);
}

TEST(CommunicationChannel, InputThatMovesOneBoundedTransferPerReadStillYieldsWholeFrames)
{
    boost::intrusive_ptr<ByteQueue> input(new ByteQueue(4096));
    boost::intrusive_ptr<RecordingOutput> output(new RecordingOutput);
    auto channel = CommunicationChannel::Create(input, output, true);
    const auto payload = Payload(10000);
    input->WriteFrame(payload);
    std::vector<uint8_t> received(20000);
    EXPECT_EQ(channel->Read(received.data(), received.size()), payload.size());
    received.resize(payload.size());
    EXPECT_EQ(received, payload);
}

TEST(CommunicationChannel, TwoThreadedChannelsTalkThroughQueues)
{
    boost::intrusive_ptr<ByteQueue> aToB(new ByteQueue);
    boost::intrusive_ptr<ByteQueue> bToA(new ByteQueue);
    auto a = CommunicationChannel::Create(bToA, aToB, true);
    auto b = CommunicationChannel::Create(aToB, bToA, true);
    for (size_t size : {size_t{1}, size_t{4096}, size_t{70000}})
    {
        const auto payload = Payload(size, static_cast<uint8_t>(size));
        EXPECT_EQ(a->Write(payload.data(), payload.size()), size);
        std::vector<uint8_t> received(size);
        EXPECT_EQ(b->Read(received.data(), size), size);
        EXPECT_EQ(received, payload);
    }
    a->Write(nullptr, 0);
    uint8_t out[1];
    EXPECT_EQ(b->Read(out, 1), 0u);
}

} // namespace
