// GetCallStack: each machine frame as module+offset with its function name, and the named frames
// open on the calling thread, innermost first.
#include <Ostrel/CallStack.h>
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/StackDebugInfo.h>
#include <Ostrel/ErrorInfo.h>

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using Ostrel::GetCallStack;
using Ostrel::Core::StackDebugInfo::Descr;

// Exported from the test executable so that the stack text can name it.
__attribute__((noinline, visibility("default"))) std::string ZelioCallStackProbe()
{
    std::string text = GetCallStack();
    asm volatile("" ::: "memory");
    return text;
}

namespace
{

TEST(CallStack, NamesTheCallingFunctions)
{
    const std::string text = ZelioCallStackProbe();
    // The frame of the probe: its index, the module and the offset in it, then the function.
    EXPECT_TRUE(std::regex_search(text, std::regex(R"((^|\n)  #0 siblings_test\+0x[0-9a-f]+ ZelioCallStackProbe)")))
        << text;
}

// Threads that fail at the same moment each get their own whole stack, their functions named.
TEST(CallStack, ThreadsTakeTheirStacksAtOnce)
{
    constexpr int kThreads = 4;
    constexpr int kStacksEach = 50;
    std::atomic<int> named{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&named]
            {
                for (int i = 0; i < kStacksEach; ++i)
                {
                    named += ZelioCallStackProbe().find("ZelioCallStackProbe") != std::string::npos ? 1 : 0;
                }
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(named.load(), kThreads * kStacksEach);
}

// A stack logged in the field is resolved later from the modules alone: the library's own hidden
// functions are named, with their offset in the library instead of an address, and the throw
// location names the source file as it stands in the project.
TEST(CallStack, LibraryFramesCarryModuleOffsetAndFunction)
{
    try
    {
        Ostrel::Core::DataInputFile::Create(Ostrel::ioPath("/nonexistent-folder/file.bin"));
        ADD_FAILURE() << "nothing thrown";
    }
    catch (const Ostrel::Core::IOException& e)
    {
        const std::string* stack = boost::get_error_info<Ostrel::ErrorCallStack>(e);
        ASSERT_NE(stack, nullptr);
        EXPECT_TRUE(std::regex_search(
            *stack, std::regex(R"(  #[0-9]+ libzelio\.so\.[0-9.]+\+0x[0-9a-f]+ Ostrel::Core::DataInputFile::Create\()")))
            << *stack;
        EXPECT_EQ(stack->find("??"), std::string::npos) << *stack;
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), "streams/DataInputFile.cpp");
    }
}

TEST(CallStack, ListsOpenNamedFramesInnermostFirst)
{
    std::string text;
    {
        Descr outer("outer.cpp", "OuterFunction");
        {
            Descr inner("inner.cpp", "InnerFunction");
            text = GetCallStack();
        }
        const std::string afterInner = GetCallStack();
        EXPECT_EQ(afterInner.find("InnerFunction"), std::string::npos);
        EXPECT_NE(afterInner.find("OuterFunction"), std::string::npos);
    }
    const auto inner = text.find("InnerFunction (inner.cpp)");
    const auto outer = text.find("OuterFunction (outer.cpp)");
    ASSERT_NE(inner, std::string::npos) << text;
    ASSERT_NE(outer, std::string::npos) << text;
    EXPECT_LT(inner, outer);
    EXPECT_EQ(GetCallStack().find("OuterFunction"), std::string::npos);
}

TEST(CallStack, NamedFramesBelongToTheirThread)
{
    Descr mine("main.cpp", "MainThreadFrame");
    std::string other;
    std::thread([&other] { other = GetCallStack(); }).join();
    EXPECT_EQ(other.find("MainThreadFrame"), std::string::npos);
    EXPECT_NE(GetCallStack().find("MainThreadFrame"), std::string::npos);
}

} // namespace
