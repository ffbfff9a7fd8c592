// Handles: a closed or stale handle is refused everywhere and never reaches an object made later;
// a handle of the wrong kind is refused; closing a pipe end wakes the calls that wait on it.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace PlatformTest;

namespace
{

void ExpectInvalidHandle(BOOL ok)
{
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Handle, ClosedHandlesAndNonHandlesAreRefusedByEveryCall)
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
    for (const Handle& event : later)
    {
        EXPECT_FALSE(IsSignalled(event.Get()));
    }
    ExpectInvalidHandle(CloseHandle(stale));
    for (const Handle& event : later)
    {
        EXPECT_TRUE(SetEvent(event.Get()));
    }
}

TEST(Handle, HandlesOfTheWrongKindAreRefused)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_DUPLEX);
    Handle event = NewEvent();
    char buffer[8] = {};
    DWORD moved = 0;
    OVERLAPPED record{};
    ExpectInvalidHandle(SetEvent(server.Get()));
    const HANDLE pipe = server.Get();
    EXPECT_EQ(WaitForMultipleObjects(1, &pipe, FALSE, 0), WAIT_FAILED);
    ExpectInvalidHandle(ReadFile(event.Get(), buffer, sizeof buffer, &moved, &record));
    // A record whose event handle is not an event.
    record.hEvent = server.Get();
    Handle client = OpenClient(name, GENERIC_READ | GENERIC_WRITE);
    ExpectInvalidHandle(ReadFile(client.Get(), buffer, sizeof buffer, &moved, &record));
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
    auto byEvent = std::async(std::launch::async, [&] { return WaitFor(waitedByEvent); });
    auto byResult = std::async(std::launch::async,
                               [&]
                               {
                                   DWORD moved = 0;
                                   const BOOL ok = GetOverlappedResult(pipe, &waitedByResult, &moved, TRUE);
                                   return ok ? ERROR_SUCCESS : GetLastError();
                               });
    // Both calls are blocked on the pipe, neither can finish by itself.
    EXPECT_EQ(byResult.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    server.Close();
    ASSERT_EQ(byEvent.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the wait hangs";
    ASSERT_EQ(byResult.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the wait hangs";
    EXPECT_EQ(byEvent.get(), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(byResult.get(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(waitedByEvent.record.Internal, ERROR_OPERATION_ABORTED);
}

} // namespace
