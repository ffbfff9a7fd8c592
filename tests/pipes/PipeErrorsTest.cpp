// What the exceptions of the pipe streams tell a caller: the pipe's name, the text of the ERROR
// line logged for the failure and the system's code, so that "not found" and "busy" can be told
// apart in the handler itself.
#include <Ostrel/ZelIO.h>

#include <Ostrel/Platform/Windows.h>

#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_test::LogCapture;
using zelio_test::UniquePipeName;

namespace
{

struct Failure
{
    std::string filename;
    std::string details;
    uint32_t code = 0;
    bool callStack = false;
};

Failure CatchIOException(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const IOException& e)
    {
        Failure failure;
        if (const std::string* name = boost::get_error_info<ErrorFilename>(e))
        {
            failure.filename = *name;
        }
        if (const std::string* details = boost::get_error_info<ErrorDetails>(e))
        {
            failure.details = *details;
        }
        if (const uint32_t* code = boost::get_error_info<ErrorSystemCode>(e))
        {
            failure.code = *code;
        }
        failure.callStack = boost::get_error_info<ErrorCallStack>(e) != nullptr;
        return failure;
    }
    ADD_FAILURE() << "no IOException";
    return {};
}

// Every factory on a missing name, and a second server of either direction on a live one: the
// exception and the one line logged name the pipe and the system's code.
TEST(PipeErrors, MissingAndBusyNamesCarryTheNameTheLoggedTextAndTheCode)
{
    const std::string missing = UniquePipeName();
    const std::string notFound = "Error 2 while opening the pipe " + missing + ".";
    const std::string live = UniquePipeName();
    auto first = DataInputPipe::Create(live, true);
    const std::string busy = "Error 231 while creating the pipe " + live + ".";
    uint64_t bufferSize = 7;
    const struct
    {
        std::function<void()> open;
        std::string name;
        std::string text;
        uint32_t code;
    } cases[] = {
        {[&] { DataInputPipe::Create(missing, false); }, missing, notFound, ERROR_FILE_NOT_FOUND},
        {[&] { DataOutputPipe::Create(missing, false); }, missing, notFound, ERROR_FILE_NOT_FOUND},
        {[&] { DataInputOutputPipe::Create(missing, false, bufferSize); }, missing, notFound,
         ERROR_FILE_NOT_FOUND},
        {[&] { DataInputPipe::Create(live, true); }, live, busy, ERROR_PIPE_BUSY},
        {[&] { DataOutputPipe::Create(live, true); }, live, busy, ERROR_PIPE_BUSY},
    };
    for (const auto& [open, name, text, code] : cases)
    {
        SCOPED_TRACE(text);
        LogCapture log;
        const Failure failure = CatchIOException(open);
        EXPECT_EQ(failure.filename, name);
        EXPECT_EQ(failure.details, text);
        EXPECT_EQ(failure.code, code);
        EXPECT_TRUE(failure.callStack);
        EXPECT_EQ(log.Texts(), std::vector<std::string>{"ERROR " + text});
    }
    EXPECT_EQ(bufferSize, 7u) << "a duplex client that was not made set the buffer size";
}

// A duplex half knows the name of the pipe it shares.
TEST(PipeErrors, ATransferErrorNamesThePipeOfADuplexHalf)
{
    const std::string name = UniquePipeName();
    uint64_t bufferSize = 0;
    auto server = DataInputOutputPipe::Create(name, true, bufferSize);
    const uint8_t byte = 1;
    // No client has opened the pipe yet: the write fails with ERROR_PIPE_LISTENING.
    const Failure failure = CatchIOException([&] { server->Write(&byte, 1); });
    EXPECT_EQ(failure.filename, name);
    EXPECT_EQ(failure.code, ERROR_PIPE_LISTENING);
    EXPECT_EQ(failure.details, "Error 536 while writing to the pipe.");
}

TEST(PipeErrors, AClosedPipeNamesItselfInItsInvalidArgument)
{
    const std::string name = UniquePipeName();
    uint64_t bufferSize = 0;
    auto server = DataInputOutputPipe::Create(name, true, bufferSize);
    uint8_t byte = 0;
    {
        // No client yet: the read closes the input half.
        LogCapture log;
        EXPECT_EQ(server->Read(&byte, 1), 0u);
        EXPECT_EQ(log.Texts(), std::vector<std::string>{"WARNING Other end of pipe is closed"});
    }
    try
    {
        server->Read(&byte, 1);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::invalid_argument& e)
    {
        EXPECT_EQ(std::string(e.what()).rfind("Pipe is invalid\n", 0), 0u);
        const auto* records = dynamic_cast<const boost::exception*>(&e);
        ASSERT_NE(records, nullptr);
        ASSERT_NE(boost::get_error_info<ErrorFilename>(*records), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorFilename>(*records), name);
        EXPECT_EQ(*boost::get_error_info<ErrorDetails>(*records), "Pipe is invalid");
    }
}

} // namespace
