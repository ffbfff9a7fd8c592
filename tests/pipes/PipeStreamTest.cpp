// Pipe input and output in one process: connecting, transfers, the other end going, Cancel from
// another thread, and the log lines and exceptions each case gives.
#include <Ostrel/Core/ByteDataInputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Platform/Windows.h>

#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

constexpr const char* kOtherSideClosed = "The pipe has been closed from the other side.";

// A pair of ends on a fresh name: a server input and a client output.
struct InboundPair
{
    std::string name = UniquePipeName();
    boost::intrusive_ptr<IByteDataInputEx> server = DataInputPipe::Create(name, true);
    boost::intrusive_ptr<IByteDataOutputEx> client = DataOutputPipe::Create(name, false);
};

// A pair of ends on a fresh name: a server output and a client input.
struct OutboundPair
{
    std::string name = UniquePipeName();
    boost::intrusive_ptr<IByteDataOutputEx> server = DataOutputPipe::Create(name, true);
    boost::intrusive_ptr<IByteDataInputEx> client = DataInputPipe::Create(name, false);
};

// Forwards raw transfers to a pipe and records what each one moved.
class RecordingTarget : public IByteDataInputEx
{
public:
    explicit RecordingTarget(IByteDataInputEx* pipe) : m_pipe(pipe) {}
    bool ReadRaw(uint8_t* data, uint64_t size, uint64_t* read) override
    {
        const bool ok = m_pipe->ReadRaw(data, size, read);
        moved.push_back(ok ? *read : 0);
        return ok;
    }
    uint64_t GetBufferSize() override { return m_pipe->GetBufferSize(); }
    uint64_t Read(uint8_t*, uint64_t) override { return 0; }
    unsigned int AddRef() const override { return 1; }
    unsigned int GetRefCount() const override { return 1; }
    unsigned int Release() const override { return 1; }
    std::vector<uint64_t> moved;

private:
    IByteDataInputEx* m_pipe;
};

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

TEST(PipeStreams, DefaultReadOfWaitingBytesTakesBufferSizedTransfers)
{
    InboundPair pair;
    const auto sent = Pattern(10000);
    EXPECT_EQ(pair.client->Write(sent.data(), sent.size()), 10000u);

    RecordingTarget recorder(pair.server.get());
    ByteDataInputDefaultProtocol protocol;
    protocol.SetByteDataInput(&recorder);
    std::vector<uint8_t> received(10000);
    EXPECT_EQ(protocol.Read(received.data(), received.size()), 10000u);
    EXPECT_EQ(recorder.moved, (std::vector<uint64_t>{4096, 4096, 1808}));
    EXPECT_EQ(received, sent);
    EXPECT_EQ(pair.server->GetBufferSize(), 4096u);
    EXPECT_EQ(pair.client->GetBufferSize(), 4096u);
}

TEST(PipeStreams, ServerWriteReachesTheClientInOrder)
{
    OutboundPair pair;
    const auto sent = Pattern(100000);
    auto writer =
        std::async(std::launch::async, [&] { return pair.server->Write(sent.data(), sent.size()); });
    std::vector<uint8_t> received(sent.size());
    EXPECT_EQ(pair.client->Read(received.data(), received.size()), sent.size());
    EXPECT_EQ(writer.get(), sent.size());
    EXPECT_EQ(received, sent);

    uint64_t written = 0;
    EXPECT_TRUE(pair.server->WriteRaw(sent.data(), sent.size(), &written));
    EXPECT_EQ(written, 4096u);
}

TEST(PipeStreams, WriterClosingAfter5000BytesEndsTheReadThereAndClosesTheReader)
{
    LogCapture log;
    InboundPair pair;
    const auto sent = Pattern(5000);
    pair.client->Write(sent.data(), sent.size());
    pair.client.reset();

    std::vector<uint8_t> received(10000);
    EXPECT_EQ(pair.server->Read(received.data(), received.size()), 5000u);
    EXPECT_TRUE(MatchesPattern(received.data(), 5000, 0));
    EXPECT_EQ(log.Count(google::GLOG_WARNING, kOtherSideClosed), 1);
    ExpectPipeIsInvalid(
        [&]
        {
            uint64_t read = 0;
            pair.server->ReadRaw(received.data(), 1, &read);
        });
}

TEST(PipeStreams, CancelEndsABlockedReadAndClosesTheStream)
{
    LogCapture log;
    InboundPair pair;
    uint8_t buffer[16];
    auto reader = std::async(std::launch::async,
                             [&]
                             {
                                 uint64_t read = 0;
                                 return pair.server->ReadRaw(buffer, sizeof buffer, &read);
                             });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pair.server->Cancel();
    ASSERT_TRUE(ReturnsPromptly(reader));
    EXPECT_FALSE(reader.get());
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "io was canceled"), 1);
    ExpectPipeIsInvalid([&] { pair.server->Read(buffer, 1); });
}

TEST(PipeStreams, CancelEndsABlockedWriteAndClosesTheStream)
{
    LogCapture log;
    OutboundPair pair; // the client never reads
    const auto block = Pattern(1 << 20);
    auto writer = std::async(std::launch::async,
                             [&]
                             {
                                 uint64_t total = 0;
                                 for (int i = 0; i < 64; ++i)
                                 {
                                     const uint64_t written = pair.server->Write(block.data(), block.size());
                                     total += written;
                                     if (written < block.size())
                                     {
                                         break;
                                     }
                                 }
                                 return total;
                             });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pair.server->Cancel();
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_LT(writer.get(), 64u * block.size());
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "io was canceled"), 1);
    ExpectPipeIsInvalid([&] { pair.server->Write(block.data(), 1); });
}

TEST(PipeStreams, CancelBetweenTransfersIsForgotten)
{
    InboundPair pair;
    pair.server->Cancel();
    uint8_t byte = 0;
    auto reader = std::async(std::launch::async,
                             [&]
                             {
                                 uint64_t read = 0;
                                 const bool ok = pair.server->ReadRaw(&byte, 1, &read);
                                 return ok && read == 1;
                             });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "the earlier cancel ended the read";
    const uint8_t sent = 42;
    pair.client->Write(&sent, 1);
    ASSERT_TRUE(ReturnsPromptly(reader));
    EXPECT_TRUE(reader.get());
    EXPECT_EQ(byte, 42);
}

TEST(PipeStreams, CancelWhileAServerInputWaitsForItsClient)
{
    LogCapture log;
    const std::string name = UniquePipeName();
    auto server = DataInputPipe::Create(name, true);
    uint8_t buffer[8];
    auto reader = std::async(std::launch::async, [&] { return server->Read(buffer, sizeof buffer); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server->Cancel();
    ASSERT_TRUE(ReturnsPromptly(reader));
    EXPECT_EQ(reader.get(), 0u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Cannot connect the pipe, error 996."), 1);
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "Other end of pipe is closed"), 1);
    ExpectPipeIsInvalid([&] { server->Read(buffer, 1); });
}

TEST(PipeStreams, CancelWhileAServerOutputWaitsForItsClientThrows)
{
    LogCapture log;
    const std::string name = UniquePipeName();
    auto server = DataOutputPipe::Create(name, true);
    const uint8_t byte = 1;
    auto writer = std::async(std::launch::async, [&] { return server->Write(&byte, 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server->Cancel();
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_THROW(writer.get(), IOException);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Cannot connect the pipe, error 996."), 1);
    EXPECT_EQ(log.CountStartingWith(google::GLOG_ERROR, "Error 536 "), 1);
}

TEST(PipeStreams, ClientThatCameAndWentBeforeTheConnectEndsTheServerReadWithoutAWait)
{
    LogCapture log;
    const std::string name = UniquePipeName();
    auto server = DataInputPipe::Create(name, true);
    {
        auto client = DataOutputPipe::Create(name, false);
        const auto sent = Pattern(3);
        client->Write(sent.data(), sent.size());
    }
    uint8_t buffer[10];
    auto reader = std::async(std::launch::async, [&] { return server->Read(buffer, sizeof buffer); });
    ASSERT_TRUE(ReturnsPromptly(reader));
    EXPECT_EQ(reader.get(), 3u);
    EXPECT_TRUE(MatchesPattern(buffer, 3, 0));
    EXPECT_EQ(log.Count(google::GLOG_WARNING, kOtherSideClosed), 1);
}

TEST(PipeStreams, NamesThatCannotBeOpenedOrCreatedThrow)
{
    LogCapture log;
    const std::string missing = UniquePipeName();
    EXPECT_THROW(DataInputPipe::Create(missing, false), IOException);
    EXPECT_THROW(DataOutputPipe::Create(missing, false), IOException);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Error 2 while opening the pipe " + missing + "."), 2);

    const std::string live = UniquePipeName();
    auto first = DataInputPipe::Create(live, true);
    EXPECT_THROW(DataInputPipe::Create(live, true), IOException);
    EXPECT_THROW(DataOutputPipe::Create(live, true), IOException);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Error 231 while creating the pipe " + live + "."), 2);
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
