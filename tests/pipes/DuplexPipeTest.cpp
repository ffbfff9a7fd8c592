// The duplex pipe: both directions through one object, a cancel that ends only the read, and a
// handle that one direction's close step never closes under the other.
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/IOException.h>

#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

struct DuplexPair
{
    std::string name = UniquePipeName();
    uint64_t serverBufferSize = 0;
    uint64_t clientBufferSize = 0;
    boost::intrusive_ptr<IByteDataInputOutput> server =
        DataInputOutputPipe::Create(name, true, serverBufferSize);
    boost::intrusive_ptr<IByteDataInputOutput> client =
        DataInputOutputPipe::Create(name, false, clientBufferSize);
};

// Reads exactly size bytes with the raw protocol's one-transfer reads.
std::vector<uint8_t> ReadExactly(IByteDataInputOutput& end, uint64_t size)
{
    std::vector<uint8_t> bytes(size);
    uint64_t total = 0;
    while (total < size)
    {
        const uint64_t got = end.Read(bytes.data() + total, size - total);
        if (got == 0)
        {
            break;
        }
        total += got;
    }
    bytes.resize(total);
    return bytes;
}

TEST(DuplexPipe, BytesGoBothWaysOneTransferPerCall)
{
    DuplexPair pair;
    EXPECT_EQ(pair.serverBufferSize, 4096u);
    EXPECT_EQ(pair.clientBufferSize, 4096u);
    const auto toClient = Pattern(100, 1);
    const auto toServer = Pattern(100, 2);
    EXPECT_EQ(pair.server->Write(toClient.data(), 100), 100u);
    EXPECT_EQ(pair.client->Write(toServer.data(), 100), 100u);
    EXPECT_EQ(ReadExactly(*pair.client, 100), toClient);
    EXPECT_EQ(ReadExactly(*pair.server, 100), toServer);

    const auto large = Pattern(10000);
    EXPECT_EQ(pair.client->Write(large.data(), large.size()), 4096u);
    std::vector<uint8_t> buffer(10000);
    EXPECT_EQ(pair.server->Read(buffer.data(), buffer.size()), 4096u);
}

TEST(DuplexPipe, CancelEndsAPendingReadWhileAPendingWriteGoesOn)
{
    LogCapture log;
    DuplexPair pair;
    uint8_t buffer[16];
    auto reader = std::async(std::launch::async, [&] { return pair.server->Read(buffer, sizeof buffer); });

    // Fill the pipe towards the client until a write waits for the client to drain it.
    const auto block = Pattern(4096);
    std::atomic<uint64_t> written{0};
    std::atomic<bool> stop{false};
    auto writer = std::async(std::launch::async,
                             [&]
                             {
                                 while (!stop)
                                 {
                                     const uint64_t n = pair.server->Write(block.data(), block.size());
                                     if (n == 0)
                                     {
                                         return false;
                                     }
                                     written += n;
                                 }
                                 return true;
                             });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const uint64_t blockedAt = written;
    pair.server->Cancel();
    ASSERT_TRUE(ReturnsPromptly(reader));
    EXPECT_EQ(reader.get(), 0u);
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "io was canceled"), 1);

    // The write still waits; once the client drains, it goes on.
    EXPECT_EQ(written.load(), blockedAt);
    stop = true;
    const auto drained = ReadExactly(*pair.client, blockedAt + 4096);
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_TRUE(writer.get());
    EXPECT_EQ(drained.size(), blockedAt + 4096);
    EXPECT_EQ(log.CountStartingWith(google::GLOG_ERROR, ""), 0);
}

TEST(DuplexPipe, ServerReadBeforeAnyClientClosesTheRead)
{
    LogCapture log;
    uint64_t bufferSize = 0;
    auto server = DataInputOutputPipe::Create(UniquePipeName(), true, bufferSize);
    uint8_t byte;
    EXPECT_EQ(server->Read(&byte, 1), 0u);
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "Other end of pipe is closed"), 1);
    EXPECT_THROW(server->Read(&byte, 1), std::invalid_argument);
}

TEST(DuplexPipe, ClientOnAMissingNameThrows)
{
    uint64_t bufferSize = 7;
    EXPECT_THROW(DataInputOutputPipe::Create(UniquePipeName(), false, bufferSize), IOException);
    EXPECT_EQ(bufferSize, 7u);
}

TEST(DuplexPipe, OnceThePeerHasGoneEachDirectionClosesOnItsOwnWithoutAnError)
{
    LogCapture log;
    DuplexPair pair;
    pair.client.reset();
    uint8_t byte = 0;
    EXPECT_EQ(pair.server->Read(&byte, 1), 0u);
    EXPECT_EQ(pair.server->Write(&byte, 1), 0u);
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "The pipe has been closed from the other side."), 2);
    pair.server.reset();
    // No close of an already closed handle was attempted on the way.
    EXPECT_EQ(log.CountStartingWith(google::GLOG_ERROR, ""), 0);
}

} // namespace
