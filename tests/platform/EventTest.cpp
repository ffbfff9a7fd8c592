// Events and WaitForMultipleObjects: manual reset, the lowest signalled index, time-outs, a wake
// from another thread, and the parameters that are refused.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace PlatformTest;

namespace
{

TEST(Event, ManualResetStaysSignalledUntilReset)
{
    Handle initiallySet(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    EXPECT_TRUE(IsSignalled(initiallySet.Get()));
    EXPECT_TRUE(IsSignalled(initiallySet.Get()));
    EXPECT_TRUE(ResetEvent(initiallySet.Get()));
    EXPECT_FALSE(IsSignalled(initiallySet.Get()));
    EXPECT_TRUE(SetEvent(initiallySet.Get()));
    EXPECT_TRUE(SetEvent(initiallySet.Get()));
    EXPECT_TRUE(IsSignalled(initiallySet.Get()));
}

TEST(Event, WaitReturnsTheLowestSignalledIndexOrTimesOut)
{
    std::vector<Handle> owned;
    std::vector<HANDLE> events;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i)
    {
        owned.push_back(NewEvent());
        events.push_back(owned.back().Get());
    }
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, events.data(), FALSE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, events.data(), FALSE, 20), WAIT_TIMEOUT);
    SetEvent(events[63]);
    SetEvent(events[17]);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, events.data(), FALSE, INFINITE),
              WAIT_OBJECT_0 + 17);
    ResetEvent(events[17]);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, events.data(), FALSE, 0), WAIT_OBJECT_0 + 63);
}

TEST(Event, AnotherThreadSettingAnEventEndsAnInfiniteWait)
{
    Handle first = NewEvent();
    Handle second = NewEvent();
    const HANDLE events[2] = {first.Get(), second.Get()};
    auto waiter =
        std::async(std::launch::async, [&] { return WaitForMultipleObjects(2, events, FALSE, INFINITE); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    SetEvent(second.Get());
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the wait hangs";
    EXPECT_EQ(waiter.get(), WAIT_OBJECT_0 + 1);
}

TEST(Event, RefusedParameters)
{
    EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, L"named"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    Handle event = NewEvent();
    const HANDLE handle = event.Get();
    std::vector<HANDLE> tooMany(MAXIMUM_WAIT_OBJECTS + 1, handle);
    EXPECT_EQ(WaitForMultipleObjects(0, &handle, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(1, &handle, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, tooMany.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

} // namespace
