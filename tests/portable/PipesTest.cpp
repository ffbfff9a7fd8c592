// Named pipes as a program of each platform uses them: server and client ends both ways, the
// protocols' transfers, names that are missing or taken, Cancel of a blocked read and of a wait
// for the client, the other end gone, the duplex pipe, and two processes.
#include <Ostrel/ZelIO.h>

#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/PortableSupport.h"
#include "support/System.h"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_portable::CancelUntilReturned;
using zelio_portable::Pattern;
using zelio_portable::ReturnsPromptly;
using zelio_portable::StartCall;
using zelio_test::LogCapture;

namespace
{

const std::string kOtherSideGone = "The pipe has been closed from the other side.";

uint32_t SystemCode(const IOException& e)
{
    const uint32_t* code = boost::get_error_info<ErrorSystemCode>(e);
    return code != nullptr ? *code : 0;
}

int ErrorLines(const LogCapture& log)
{
    return log.CountStartingWith(google::GLOG_ERROR, "");
}

TEST(PortablePipes, ServerInputTakesEveryByteTheClientWrites)
{
    const std::string name = GeneratePipeName();
    auto server = DataInputPipe::Create(name, true);
    const auto sent = Pattern(10000);
    auto writer =
        StartCall([&] { return DataOutputPipe::Create(name, false)->Write(sent.data(), sent.size()); });
    std::vector<uint8_t> received(sent.size());
    EXPECT_EQ(server->Read(received.data(), received.size()), sent.size());
    EXPECT_EQ(received, sent);
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_EQ(writer.get(), sent.size());
}

TEST(PortablePipes, ServerOutputReachesTheClientInput)
{
    const std::string name = GeneratePipeName();
    auto server = DataOutputPipe::Create(name, true);
    auto reader = StartCall(
        [&]
        {
            std::vector<uint8_t> received(10000);
            received.resize(DataInputPipe::Create(name, false)->Read(received.data(), received.size()));
            return received;
        });
    const auto sent = Pattern(10000);
    EXPECT_EQ(server->Write(sent.data(), sent.size()), sent.size());
    ASSERT_TRUE(ReturnsPromptly(reader));
    EXPECT_EQ(reader.get(), sent);
}

TEST(PortablePipes, RawProtocolsMoveOneTransferOfAtMost4096BytesPerCall)
{
    const std::string name = GeneratePipeName();
    auto server = DataOutputPipe::Create(name, std::make_unique<ByteDataOutputRawProtocol>(), true);
    auto client = DataInputPipe::Create(name, std::make_unique<ByteDataInputRawProtocol>(), false);
    EXPECT_EQ(server->GetBufferSize(), 4096u);
    EXPECT_EQ(client->GetBufferSize(), 4096u);
    const auto sent = Pattern(10000);
    std::vector<uint8_t> received(sent.size());
    EXPECT_EQ(server->Write(sent.data(), sent.size()), 4096u);
    EXPECT_EQ(client->Read(received.data(), received.size()), 4096u);
    EXPECT_EQ(server->Write(sent.data() + 4096, sent.size() - 4096), 4096u);
    uint64_t got = 0;
    EXPECT_TRUE(client->ReadRaw(received.data() + 4096, 8192, &got));
    EXPECT_EQ(got, 4096u);
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 8192, received.begin()));
}

TEST(PortablePipes, MissingNameIsNotFoundAndTakenNameIsBusy)
{
    LogCapture log;
    const std::string missing = GeneratePipeName();
    try
    {
        DataInputPipe::Create(missing, false);
        ADD_FAILURE() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(SystemCode(e), 2u);
        ASSERT_NE(boost::get_error_info<ErrorFilename>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorFilename>(e), missing);
    }
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Error 2 while opening the pipe " + missing + "."), 1);

    const std::string taken = GeneratePipeName();
    auto first = DataInputPipe::Create(taken, true);
    try
    {
        DataOutputPipe::Create(taken, true);
        ADD_FAILURE() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(SystemCode(e), 231u);
    }
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Error 231 while creating the pipe " + taken + "."), 1);
}

// The system's listing of live pipes shows a server's name, in small letters, while the server
// lives, and forgets it once the server has gone.
TEST(PortablePipes, ListingShowsAServerWhileItLives)
{
    const std::string name = GeneratePipeName();
    std::string lowerName = name;
    std::transform(lowerName.begin(), lowerName.end(), lowerName.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto listed = [&]
    {
        const auto pipes = ListPipes();
        return std::count_if(pipes.begin(), pipes.end(),
                             [&](const PipeInfo& pipe) { return pipe.name == lowerName && pipe.live; });
    };
    auto server = DataInputPipe::Create(name, true);
    if (zelio_portable::UnderWine())
    {
        ZELIO_KNOWN_WINE_DIFFERENCE(
            "the listing of live pipes: Wine refuses to search \\\\.\\pipe\\ with 66 (ERROR_BAD_DEV_TYPE), "
            "where Windows lists the pipes there with FindFirstFile and FindNextFile");
        try
        {
            ListPipes();
            ADD_FAILURE() << "Wine listed the pipes";
        }
        catch (const IOException& e)
        {
            EXPECT_EQ(SystemCode(e), 66u);
        }
        return;
    }
    EXPECT_EQ(listed(), 1);
    server.reset();
    EXPECT_EQ(listed(), 0);
}

TEST(PortablePipes, CancelEndsABlockedReadAndClosesThePipe)
{
    const std::string name = GeneratePipeName();
    auto server = DataInputPipe::Create(name, true);
    auto client = DataOutputPipe::Create(name, false);
    LogCapture log;
    uint8_t buffer[16];
    auto read = StartCall([&] { return server->Read(buffer, sizeof buffer); });
    ASSERT_TRUE(CancelUntilReturned(read, [&] { server->Cancel(); }));
    EXPECT_EQ(read.get(), 0u);
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "io was canceled"), 1);
    EXPECT_EQ(ErrorLines(log), 0);
    EXPECT_THROW(server->Read(buffer, sizeof buffer), std::invalid_argument);
}

TEST(PortablePipes, CancelEndsAWaitForTheClient)
{
    LogCapture log;
    const std::string inputName = GeneratePipeName();
    auto input = DataInputPipe::Create(inputName, true);
    uint8_t buffer[16];
    auto read = StartCall([&] { return input->Read(buffer, sizeof buffer); });
    ASSERT_TRUE(CancelUntilReturned(read, [&] { input->Cancel(); }));
    EXPECT_EQ(read.get(), 0u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Cannot connect the pipe, error 996."), 1);
    EXPECT_EQ(log.Count(google::GLOG_WARNING, "Other end of pipe is closed"), 1);

    // The output side takes the pipe that no client opened for a failure of its own.
    const std::string outputName = GeneratePipeName();
    auto output = DataOutputPipe::Create(outputName, true);
    auto write = StartCall([&] { return output->Write(buffer, sizeof buffer); });
    ASSERT_TRUE(CancelUntilReturned(write, [&] { output->Cancel(); }));
    try
    {
        write.get();
        ADD_FAILURE() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(SystemCode(e), 536u);
    }
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Cannot connect the pipe, error 996."), 2);
}

TEST(PortablePipes, ReaderFindsTheWriterGoneAfterItsBytes)
{
    const std::string name = GeneratePipeName();
    auto server = DataInputPipe::Create(name, true);
    DataOutputPipe::Create(name, false)->Write(reinterpret_cast<const uint8_t*>("hello"), 5);
    LogCapture log;
    uint8_t buffer[8192];
    uint64_t got = 0;
    EXPECT_TRUE(server->ReadRaw(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 5u);
    EXPECT_FALSE(server->ReadRaw(buffer, sizeof buffer, &got));
    EXPECT_EQ(log.Count(google::GLOG_WARNING, kOtherSideGone), 1);
    EXPECT_EQ(ErrorLines(log), 0);
    EXPECT_THROW(server->ReadRaw(buffer, sizeof buffer, &got), std::invalid_argument);
}

// Windows answers a write to a reader that has gone with 109 or 232 (the pipe being closed), and a
// reader that came and went before the connect with 232: every one is the other end gone.
TEST(PortablePipes, WriterFindsTheReaderGoneQuietly)
{
    LogCapture log;
    const uint8_t bytes[10] = {};
    const std::string beforeConnect = GeneratePipeName();
    auto early = DataOutputPipe::Create(beforeConnect, true);
    DataInputPipe::Create(beforeConnect, false);
    EXPECT_EQ(early->Write(bytes, sizeof bytes), 0u);
    EXPECT_THROW(early->Write(bytes, sizeof bytes), std::invalid_argument);

    const std::string afterTransfer = GeneratePipeName();
    auto late = DataOutputPipe::Create(afterTransfer, true);
    {
        auto reader = DataInputPipe::Create(afterTransfer, false);
        EXPECT_EQ(late->Write(bytes, sizeof bytes), sizeof bytes);
        uint8_t received[sizeof bytes];
        EXPECT_EQ(reader->Read(received, sizeof received), sizeof received);
    }
    EXPECT_EQ(late->Write(bytes, sizeof bytes), 0u);
    EXPECT_THROW(late->Write(bytes, sizeof bytes), std::invalid_argument);

    EXPECT_EQ(log.Count(google::GLOG_WARNING, kOtherSideGone), 2);
    EXPECT_EQ(ErrorLines(log), 0) << ::testing::PrintToString(log.Texts());
}

TEST(PortablePipes, DuplexPipeCarriesBothDirections)
{
    const std::string name = GeneratePipeName();
    uint64_t serverSize = 0;
    uint64_t clientSize = 0;
    auto server = DataInputOutputPipe::Create(name, true, serverSize);
    auto client = DataInputOutputPipe::Create(name, false, clientSize);
    EXPECT_EQ(serverSize, 4096u);
    EXPECT_EQ(clientSize, 4096u);
    uint8_t buffer[4096];
    EXPECT_EQ(server->Write(reinterpret_cast<const uint8_t*>("ping"), 4), 4u);
    EXPECT_EQ(client->Read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "ping");

    // A read that waits on one end, and a write from the other that ends it.
    auto read = StartCall(
        [&]
        {
            std::vector<uint8_t> received;
            while (received.size() < 3000)
            {
                uint8_t piece[4096];
                const uint64_t got = server->Read(piece, sizeof piece);
                if (got == 0)
                {
                    break;
                }
                received.insert(received.end(), piece, piece + got);
            }
            return received;
        });
    const auto sent = Pattern(3000);
    EXPECT_EQ(client->Write(sent.data(), sent.size()), sent.size());
    ASSERT_TRUE(ReturnsPromptly(read));
    EXPECT_EQ(read.get(), sent);
}

TEST(PortablePipes, TwoProcessesExchangeOverAPairOfPipes)
{
    const std::string toChild = GeneratePipeName();
    const std::string fromChild = GeneratePipeName();
    auto output = DataOutputPipe::Create(toChild, true);
    auto input = DataInputPipe::Create(fromChild, true);
    zelio_portable::ChildProcess child({"pipe-echo", toChild, fromChild}, {});
    const auto sent = Pattern(100000);
    auto writer = StartCall(
        [&]
        {
            const uint64_t written = output->Write(sent.data(), sent.size());
            output.reset();
            return written;
        });
    std::vector<uint8_t> received(sent.size());
    EXPECT_EQ(input->Read(received.data(), received.size()), sent.size());
    EXPECT_EQ(received, sent);
    ASSERT_TRUE(ReturnsPromptly(writer));
    EXPECT_EQ(writer.get(), sent.size());
    EXPECT_EQ(child.Wait(), 0);
}

} // namespace
