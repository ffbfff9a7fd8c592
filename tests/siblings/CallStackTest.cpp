// GetCallStack: function names, and the named frames open on the calling thread, innermost first.
#include <Ostrel/CallStack.h>
#include <Ostrel/Core/StackDebugInfo.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

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
    EXPECT_NE(text.find("ZelioCallStackProbe"), std::string::npos) << text;
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
