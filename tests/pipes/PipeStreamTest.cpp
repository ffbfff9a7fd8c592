// Pipe input and output in one process: the other end going in the middle of a Read, Cancel of a
// call that waits (and only of one that waits), handles the stream does not own, descriptors over
// many pipes, and the exact log lines of each case.
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Platform/Windows.h>

#include "pipes/PipeTestSupport.h"
#include "support/BlockedCall.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

using Texts = std::vector<std::string>;
const std::string kOtherSideClosed = "WARNING The pipe has been closed from the other side.";
const std::string kCanceled = "WARNING io was canceled";

// Ends on a fresh name: a server input and a client output, or the other way round.
struct InboundPair
{
    std::string name = UniquePipeName();
    boost::intrusive_ptr<IByteDataInputEx> server = DataInputPipe::Create(name, true);
    boost::intrusive_ptr<IByteDataOutputEx> client = DataOutputPipe::Create(name, false);
};

struct OutboundPair
{
    std::string name = UniquePipeName();
    boost::intrusive_ptr<IByteDataOutputEx> server = DataOutputPipe::Create(name, true);
    boost::intrusive_ptr<IByteDataInputEx> client = DataInputPipe::Create(name, false);
};

// A closed pipe used again throws std::invalid_argument "Pipe is invalid" with the call stack.
void ExpectPipeIsInvalid(const std::function<void()>& transfer)
{
    try
    {
        transfer();
        ADD_FAILURE() << "a transfer on a closed pipe was made";
    }
    catch (const std::invalid_argument& e)
    {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("Pipe is invalid\n", 0), 0u) << what;
        EXPECT_GT(what.size(), std::string("Pipe is invalid\n").size()) << "no call-stack text";
    }
}

// Cancels the stream once the call waits inside it; true when the call then returned.
template <class Stream, class Result> bool CancelOnceBlocked(Stream& stream, BlockedCall<Result>& call)
{
    if (!call.WaitUntilBlocked())
    {
        ADD_FAILURE() << "the call never waited";
        return false;
    }
    stream.Cancel();
    return call.ReturnsPromptly();
}

TEST(PipeStreams, OtherEndGoneEndsTheReadWithItsBytesAndClosesTheReader)
{
    LogCapture log;
    InboundPair pair;
    const auto sent = Pattern(5000);
    pair.client->Write(sent.data(), sent.size());
    pair.client.reset();
    std::vector<uint8_t> received(10000);
    EXPECT_EQ(pair.server->Read(received.data(), received.size()), 5000u);
    EXPECT_TRUE(MatchesPattern(received.data(), 5000, 0));
    ExpectPipeIsInvalid([&] { pair.server->Read(received.data(), 1); });
    EXPECT_EQ(log.Texts(), Texts{kOtherSideClosed});
}

TEST(PipeStreams, CancelEndsAWaitingReadOrWriteAndClosesTheStream)
{
    LogCapture log;
    InboundPair inbound;
    uint8_t buffer[16];
    BlockedCall reader(
        [&]
        {
            uint64_t read = 0;
            return inbound.server->ReadRaw(buffer, sizeof buffer, &read);
        });
    ASSERT_TRUE(CancelOnceBlocked(*inbound.server, reader));
    EXPECT_FALSE(reader.Get());
    ExpectPipeIsInvalid([&] { inbound.server->Read(buffer, 1); });
    EXPECT_EQ(log.Texts(), Texts{kCanceled});

    OutboundPair outbound; // the client never reads
    const auto block = Pattern(1 << 20);
    BlockedCall writer([&] { return outbound.server->Write(block.data(), block.size()); });
    ASSERT_TRUE(CancelOnceBlocked(*outbound.server, writer));
    EXPECT_LT(writer.Get(), block.size());
    ExpectPipeIsInvalid([&] { outbound.server->Write(block.data(), 1); });
    EXPECT_EQ(log.Texts(), (Texts{kCanceled, kCanceled}));
}

TEST(PipeStreams, CancelBeforeATransferIsForgotten)
{
    InboundPair pair;
    pair.server->Cancel();
    uint8_t byte = 0;
    BlockedCall reader(
        [&]
        {
            uint64_t read = 0;
            return pair.server->ReadRaw(&byte, 1, &read) && read == 1;
        });
    ASSERT_TRUE(reader.WaitUntilBlocked()) << "the earlier cancel ended the read";
    const uint8_t sent = 42;
    pair.client->Write(&sent, 1);
    ASSERT_TRUE(reader.ReturnsPromptly());
    EXPECT_TRUE(reader.Get());
    EXPECT_EQ(byte, 42);
}

TEST(PipeStreams, CancelWhileAServerWaitsForItsClient)
{
    LogCapture log;
    auto input = DataInputPipe::Create(UniquePipeName(), true);
    uint8_t buffer[8];
    BlockedCall reader([&] { return input->Read(buffer, sizeof buffer); });
    ASSERT_TRUE(CancelOnceBlocked(*input, reader));
    EXPECT_EQ(reader.Get(), 0u);
    ExpectPipeIsInvalid([&] { input->Read(buffer, 1); });
    EXPECT_EQ(log.Texts(),
              (Texts{"ERROR Cannot connect the pipe, error 996.", "WARNING Other end of pipe is closed"}));

    auto output = DataOutputPipe::Create(UniquePipeName(), true);
    BlockedCall writer([&] { return output->Write(buffer, 1); });
    ASSERT_TRUE(CancelOnceBlocked(*output, writer));
    EXPECT_THROW(writer.Get(), IOException);
    EXPECT_EQ(
        log.Texts(),
        (Texts{"ERROR Cannot connect the pipe, error 996.", "WARNING Other end of pipe is closed",
               "ERROR Cannot connect the pipe, error 996.", "ERROR Error 536 while writing to the pipe."}));
}

TEST(PipeStreams, StreamAroundAHandleClosesItOnlyInTheCloseStep)
{
    const std::string name = UniquePipeName();
    const HANDLE handle =
        CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DataInputPipe::Create(handle, std::make_unique<ByteDataInputRawProtocol>()).reset();
    // Still open after the stream went: a client can reach it.
    auto client = DataOutputPipe::Create(name, false);

    auto wrapped = DataInputPipe::Create(handle, std::make_unique<ByteDataInputRawProtocol>());
    client.reset();
    uint8_t byte;
    EXPECT_EQ(wrapped->Read(&byte, 1), 0u); // the writer has gone: the close step closes the handle
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(PipeStreams, ManyCyclesLeaveNoDescriptorBehind)
{
    const size_t before = OpenDescriptors().size();
    for (int i = 0; i < 10000; ++i)
    {
        InboundPair pair;
        const uint8_t sent = static_cast<uint8_t>(i);
        pair.client->Write(&sent, 1);
        uint8_t received = 0;
        ASSERT_EQ(pair.server->Read(&received, 1), 1u);
        ASSERT_EQ(received, sent);
    }
    EXPECT_EQ(OpenDescriptors().size(), before);
}

} // namespace
