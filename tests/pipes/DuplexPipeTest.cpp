// The duplex pipe: one transfer per call, a cancel that ends only the waiting read, and a handle
// that one direction's close step never closes under the other.
#include <Ostrel/Core/DataInputOutputPipe.h>

#include "pipes/PipeTestSupport.h"
#include "support/BlockedCall.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>

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

TEST(DuplexPipe, EachCallMovesOneTransfer)
{
    DuplexPair pair;
    const auto large = Pattern(10000);
    EXPECT_EQ(pair.client->Write(large.data(), large.size()), 4096u);
    std::vector<uint8_t> buffer(10000);
    EXPECT_EQ(pair.server->Read(buffer.data(), buffer.size()), 4096u);
    buffer.resize(4096);
    EXPECT_EQ(buffer, Pattern(4096));
}

TEST(DuplexPipe, CancelEndsAWaitingReadWhileAWaitingWriteGoesOn)
{
    LogCapture log;
    DuplexPair pair;
    uint8_t buffer[16];
    BlockedCall reader([&] { return pair.server->Read(buffer, sizeof buffer); });
    // Fills the pipe towards the client until a write waits for the client to drain it.
    const auto block = Pattern(4096);
    std::atomic<uint64_t> written{0};
    BlockedCall writer(
        [&]
        {
            for (uint64_t n = 4096; n != 0 && written < (64u << 20); written += n)
            {
                n = pair.server->Write(block.data(), block.size());
            }
            return written.load();
        });
    ASSERT_TRUE(reader.WaitUntilBlocked());
    ASSERT_TRUE(writer.WaitUntilBlocked());
    const uint64_t blockedAt = written;
    pair.server->Cancel();
    ASSERT_TRUE(reader.ReturnsPromptly());
    EXPECT_EQ(reader.Get(), 0u);

    // The write still waits; once the client has drained what it sent, it goes on.
    EXPECT_TRUE(writer.WaitUntilBlocked());
    EXPECT_EQ(written.load(), blockedAt);
    EXPECT_EQ(ReadExactly(*pair.client, blockedAt + 4096).size(), blockedAt + 4096);
    EXPECT_TRUE(writer.WaitUntilBlocked());
    EXPECT_GT(written.load(), blockedAt);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"WARNING io was canceled"});
    pair.client.reset();
    ASSERT_TRUE(writer.ReturnsPromptly());
}

TEST(DuplexPipe, OnceThePeerHasGoneEachDirectionClosesOnItsOwnWithoutAnError)
{
    LogCapture log;
    DuplexPair pair;
    pair.client.reset();
    uint8_t byte = 0;
    EXPECT_EQ(pair.server->Read(&byte, 1), 0u);
    EXPECT_EQ(pair.server->Write(&byte, 1), 0u);
    // No close of an already closed handle was attempted on the way.
    pair.server.reset();
    const std::string closed = "WARNING The pipe has been closed from the other side.";
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{closed, closed}));
}

} // namespace
