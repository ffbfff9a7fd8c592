// The library's throw conventions: records and location, the call stack last, and standard
// exceptions whose message ends with a newline and the call stack.
#include "errors/Throw.h"

#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/StackDebugInfo.h>

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

TEST(ThrowConvention, ThrowsTheClassWithItsRecordsCallStackAndLocation)
{
    StackDebugInfo::Descr frame("ThrowTest", "ThrowSite");
    try
    {
        ZELIO_THROW_WITH_STACK(IOException() << ErrorFilename("f.bin") << ErrorDescription("d"));
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(*boost::get_error_info<ErrorFilename>(e), "f.bin");
        EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), "d");
        const std::string* stack = boost::get_error_info<ErrorCallStack>(e);
        ASSERT_NE(stack, nullptr);
        EXPECT_NE(stack->find("ThrowSite (ThrowTest)"), std::string::npos) << *stack;
        EXPECT_NE(boost::get_error_info<boost::throw_function>(e), nullptr);
        EXPECT_NE(boost::get_error_info<boost::throw_line>(e), nullptr);
        return;
    }
    ADD_FAILURE() << "nothing thrown";
}

TEST(ThrowConvention, NoRecordsWhenTheSiteHasNothingToAdd)
{
    try
    {
        ZELIO_THROW(IOException());
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(boost::get_error_info<ErrorCallStack>(e), nullptr);
        EXPECT_EQ(boost::get_error_info<ErrorDescription>(e), nullptr);
        EXPECT_NE(boost::get_error_info<boost::throw_file>(e), nullptr);
        return;
    }
    ADD_FAILURE() << "nothing thrown";
}

TEST(ThrowConvention, StandardExceptionMessageIsTextNewlineAndCallStack)
{
    StackDebugInfo::Descr frame("ThrowTest", "StandardSite");
    try
    {
        ZELIO_THROW_STANDARD(std::invalid_argument, "Pipe is invalid");
    }
    catch (const std::invalid_argument& e)
    {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("Pipe is invalid\n", 0), 0u) << what;
        EXPECT_NE(what.find("StandardSite (ThrowTest)"), std::string::npos) << what;
        const auto* located = dynamic_cast<const boost::exception*>(&e);
        ASSERT_NE(located, nullptr);
        EXPECT_NE(boost::get_error_info<boost::throw_line>(*located), nullptr);
        return;
    }
    ADD_FAILURE() << "nothing thrown";
}

} // namespace
