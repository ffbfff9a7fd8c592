// The exception family across module boundaries: an exception the library throws is caught by
// the program as any class of its family, with its records, its throw location and its call stack
// readable, and survives being captured and thrown again in the program.
#include <Ostrel/ZelIO.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/exception_ptr.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

const ioPath kMissing("zelio-no-such-folder/no-such-file.bin");

void OpenMissingFile()
{
    DataInputFile::Create(kMissing);
}

template <class Handler> bool CaughtAs(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const Handler&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
    return false;
}

TEST(ExceptionsAcrossModules, TheLibrarysExceptionIsCaughtAsEachClassOfItsFamily)
{
    EXPECT_TRUE(CaughtAs<IOException>(OpenMissingFile));
    EXPECT_TRUE(CaughtAs<CoreException>(OpenMissingFile));
    EXPECT_TRUE(CaughtAs<Ostrel::Exception>(OpenMissingFile));
    EXPECT_TRUE(CaughtAs<boost::exception>(OpenMissingFile));
    EXPECT_TRUE(CaughtAs<std::exception>(OpenMissingFile));
    EXPECT_FALSE(CaughtAs<PropertyException>(OpenMissingFile));
    EXPECT_FALSE(CaughtAs<std::invalid_argument>(OpenMissingFile));
}

TEST(ExceptionsAcrossModules, RecordsAndThrowLocationAreReadInTheProgram)
{
    try
    {
        OpenMissingFile();
        FAIL() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        ASSERT_NE(boost::get_error_info<ErrorFilename>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorFilename>(e), kMissing.utf8string());
        ASSERT_NE(boost::get_error_info<ErrorDescription>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), "Can not open file for reading");
        ASSERT_NE(boost::get_error_info<ErrorDetails>(e), nullptr);
        EXPECT_FALSE(boost::get_error_info<ErrorDetails>(e)->empty());
        EXPECT_EQ(boost::get_error_info<ErrorSeek>(e), nullptr);
        ASSERT_NE(boost::get_error_info<boost::throw_file>(e), nullptr);
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), "streams/DataInputFile.cpp");
        EXPECT_EQ(std::string(e.what()), std::string(std::exception().what()));
    }
}

// Each machine frame reads "  #N module+0xOFFSET function": the library's module by its file name,
// the offset from the module's start, and the name of an exported function.
TEST(ExceptionsAcrossModules, CallStackNamesTheLibrarysModuleOffsetAndFunction)
{
    try
    {
        OpenMissingFile();
        FAIL() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        const std::string* stack = boost::get_error_info<ErrorCallStack>(e);
        ASSERT_NE(stack, nullptr);
        EXPECT_TRUE(std::regex_search(
            *stack,
            std::regex(
                R"((^|\n)  #[0-9]+ (lib)?zelio[.a-z0-9]*\+0x[0-9a-f]+ Ostrel::Core::DataInputFile::Create\()")))
            << *stack;
        EXPECT_TRUE(std::regex_search(*stack, std::regex(R"(\n  #[0-9]+ portable_test[.a-z]*\+0x[0-9a-f]+)")))
            << *stack;
    }
}

TEST(ExceptionsAcrossModules, CapturedExceptionIsThrownAgainWholeAfterTheOriginalIsGone)
{
    boost::exception_ptr captured;
    try
    {
        OpenMissingFile();
    }
    catch (...)
    {
        captured = boost::current_exception();
    }
    ASSERT_TRUE(captured);
    try
    {
        boost::rethrow_exception(captured);
    }
    catch (const IOException& e)
    {
        ASSERT_NE(boost::get_error_info<ErrorDescription>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), "Can not open file for reading");
        return;
    }
    catch (...)
    {
    }
    ADD_FAILURE() << "the captured exception did not come back as IOException";
}

TEST(ExceptionsAcrossModules, ExceptionsMadeInTheProgramCarryTheLibrarysRecords)
{
    try
    {
        BOOST_THROW_EXCEPTION(MemoryException("block too small", 4096) << ErrorSeek(7));
    }
    catch (const CoreException& e)
    {
        ASSERT_NE(boost::get_error_info<ErrorBlockSize>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorBlockSize>(e), 4096u);
        ASSERT_NE(boost::get_error_info<ErrorSeek>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorSeek>(e), 7u);
    }
}

} // namespace
