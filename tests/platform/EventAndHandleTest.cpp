// Events and handles: manual reset, the lowest signalled index, time-outs, a wake from another
// thread; closed, stale and wrong-kind handles refused everywhere, never reaching an object made
// later; and closing a pipe end wakes the calls blocked on it.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

using namespace PlatformTest;

namespace
{

void ExpectInvalidHandle(BOOL ok)
{
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Runs the blocking call on another thread and returns once that thread is blocked in it.
template <class Call> auto StartBlocked(Call call)
{
    auto thread = std::make_shared<std::atomic<pid_t>>(0);
    auto result = std::async(std::launch::async,
                             [thread, call]
                             {
                                 thread->store(ThreadId());
                                 return call();
                             });
    while (thread->load() == 0)
    {
        std::this_thread::yield();
    }
    EXPECT_NE(WaitUntilBlockedInPoll(thread->load()), kNeverInPoll);
    return result;
}

TEST(Event, ManualResetEventsAndTheLowestSignalledIndexOrATimeOut)
{
    Handle initiallySet(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    EXPECT_TRUE(IsSignalled(initiallySet.Get()));
    EXPECT_TRUE(IsSignalled(initiallySet.Get()));
    EXPECT_TRUE(ResetEvent(initiallySet.Get()));
    EXPECT_FALSE(IsSignalled(initiallySet.Get()));
    EXPECT_TRUE(SetEvent(initiallySet.Get()));
    EXPECT_TRUE(SetEvent(initiallySet.Get()));
    EXPECT_TRUE(IsSignalled(initiallySet.Get()));

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
    auto waiter = StartBlocked([&] { return WaitForMultipleObjects(2, events, FALSE, INFINITE); });
    SetEvent(second.Get());
    ASSERT_TRUE(waiter.wait_for(std::chrono::seconds(5)) == std::future_status::ready) << "the wait hangs";
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
    for (const auto& [count, waitAll] : {std::pair{0, FALSE}, std::pair{1, TRUE}, std::pair{65, FALSE}})
    {
        EXPECT_EQ(WaitForMultipleObjects(count, tooMany.data(), waitAll, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

TEST(Handle, ClosedHandlesNonHandlesAndHandlesOfTheWrongKindAreRefused)
{
    HANDLE event = NewEvent().Release();
    ASSERT_TRUE(CloseHandle(event));
    char buffer[8] = {};
    DWORD moved = 0;
    OVERLAPPED record{};
    for (const HANDLE handle :
         {event, HANDLE{nullptr}, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1235)})
    {
        ExpectInvalidHandle(CloseHandle(handle));
        ExpectInvalidHandle(SetEvent(handle));
        ExpectInvalidHandle(ResetEvent(handle));
        ExpectInvalidHandle(ReadFile(handle, buffer, sizeof buffer, &moved, &record));
        ExpectInvalidHandle(WriteFile(handle, buffer, sizeof buffer, &moved, &record));
        ExpectInvalidHandle(ConnectNamedPipe(handle, &record));
        ExpectInvalidHandle(GetOverlappedResult(handle, &record, &moved, FALSE));
        ExpectInvalidHandle(CancelIo(handle));
        EXPECT_EQ(WaitForMultipleObjects(1, &handle, FALSE, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }

    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    Handle anEvent = NewEvent();
    ExpectInvalidHandle(SetEvent(server.Get()));
    const HANDLE pipe = server.Get();
    EXPECT_EQ(WaitForMultipleObjects(1, &pipe, FALSE, 0), WAIT_FAILED);
    ExpectInvalidHandle(ReadFile(anEvent.Get(), buffer, sizeof buffer, &moved, &record));
    // A record whose event handle is not an event.
    record.hEvent = server.Get();
    Handle client = OpenClient(name, GENERIC_READ | GENERIC_WRITE);
    ExpectInvalidHandle(ReadFile(client.Get(), buffer, sizeof buffer, &moved, &record));
}

TEST(Handle, AStaleHandleNeverReachesAnObjectMadeLater)
{
    HANDLE stale = NewEvent().Release();
    ASSERT_TRUE(CloseHandle(stale));
    std::vector<Handle> later;
    for (int i = 0; i < 100; ++i)
    {
        later.push_back(NewEvent());
        ASSERT_NE(later.back().Get(), stale);
    }
    ExpectInvalidHandle(SetEvent(stale));
    ExpectInvalidHandle(CloseHandle(stale));
    for (const Handle& event : later)
    {
        EXPECT_FALSE(IsSignalled(event.Get()));
        EXPECT_TRUE(SetEvent(event.Get()));
    }
}

TEST(Handle, ClosingAPipeEndWakesTheCallsWaitingOnIt)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
    Handle client = OpenClient(name, GENERIC_WRITE);
    Transfer waitedByEvent;
    OVERLAPPED waitedByResult{}; // no event: GetOverlappedResult waits on the pipe itself
    char first[16];
    char second[16];
    ASSERT_EQ(StartRead(server.Get(), waitedByEvent, first, sizeof first).error, ERROR_IO_PENDING);
    ASSERT_FALSE(ReadFile(server.Get(), second, sizeof second, nullptr, &waitedByResult));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    const HANDLE pipe = server.Get();
    auto byEvent = StartBlocked([&] { return WaitFor(waitedByEvent); });
    auto byResult = StartBlocked(
        [&]
        {
            DWORD moved = 0;
            return GetOverlappedResult(pipe, &waitedByResult, &moved, TRUE) ? ERROR_SUCCESS : GetLastError();
        });
    server.Close();
    ASSERT_EQ(byEvent.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the wait hangs";
    ASSERT_EQ(byResult.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the wait hangs";
    EXPECT_EQ(byEvent.get(), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(byResult.get(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(waitedByEvent.record.Internal, ERROR_OPERATION_ABORTED);
}

} // namespace
