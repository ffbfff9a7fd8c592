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

TEST(PipeErrors, OpeningAMissingNameCarriesTheNameTheLoggedTextAndCode2)
{
    const std::string name = UniquePipeName();
    const std::string text = "Error 2 while opening the pipe " + name + ".";
    uint64_t bufferSize = 0;
    const std::function<void()> opens[] = {
        [&] { DataInputPipe::Create(name, false); },
        [&] { DataOutputPipe::Create(name, false); },
        [&] { DataInputOutputPipe::Create(name, false, bufferSize); },
    };
    for (const auto& open : opens)
    {
        LogCapture log;
        const Failure failure = CatchIOException(open);
        EXPECT_EQ(failure.filename, name);
        EXPECT_EQ(failure.details, text);
        EXPECT_EQ(failure.code, ERROR_FILE_NOT_FOUND);
        EXPECT_TRUE(failure.callStack);
        EXPECT_EQ(log.Count(google::GLOG_ERROR, text), 1);
    }
}

TEST(PipeErrors, ASecondServerIsToldTheNameIsBusy)
{
    const std::string name = UniquePipeName();
    auto first = DataInputPipe::Create(name, true);
    const Failure failure = CatchIOException([&] { DataOutputPipe::Create(name, true); });
    EXPECT_EQ(failure.code, ERROR_PIPE_BUSY);
    EXPECT_EQ(failure.details, "Error 231 while creating the pipe " + name + ".");
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
        EXPECT_EQ(log.Count(google::GLOG_WARNING, "Other end of pipe is closed"), 1);
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
