// A blocked connect, read and write end within milliseconds when another thread signals the
// interrupt event, as the library's Cancel does; the transfer is then cancelled as the pipes do it.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace PlatformTest;

namespace
{

using Clock = std::chrono::steady_clock;

// Starts the transfer, lets it block, signals the interrupt from another thread and returns how
// long the wait took to notice; the transfer must then read incomplete and cancel as aborted.
template <class StartTransfer> void ExpectInterruptible(HANDLE pipe, StartTransfer start)
{
    Transfer transfer;
    const Outcome started = start(transfer);
    ASSERT_FALSE(started.ok);
    ASSERT_EQ(started.error, ERROR_IO_PENDING);

    std::promise<Clock::time_point> signalled;
    std::thread canceller(
        [&]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            signalled.set_value(Clock::now());
            SetEvent(transfer.interrupt.Get());
        });
    EXPECT_EQ(WaitFor(transfer), WAIT_OBJECT_0);
    const auto woke = Clock::now();
    canceller.join();
    const auto delay =
        std::chrono::duration_cast<std::chrono::milliseconds>(woke - signalled.get_future().get());
    EXPECT_LT(delay.count(), 500) << "the interrupt took " << delay.count() << " ms";

    const Outcome incomplete = Finish(pipe, transfer);
    EXPECT_EQ(incomplete.error, ERROR_IO_INCOMPLETE);
    EXPECT_TRUE(CancelIo(pipe));
    EXPECT_EQ(Finish(pipe, transfer).error, ERROR_OPERATION_ABORTED);
}

TEST(PipeInterrupt, BlockedConnectEndsWhenInterrupted)
{
    Handle server = MakeServer(UniquePipeName(), PIPE_ACCESS_INBOUND);
    ExpectInterruptible(server.Get(),
                        [&](Transfer& transfer) { return StartConnect(server.Get(), transfer); });
}

TEST(PipeInterrupt, BlockedReadEndsWhenInterrupted)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
    Handle client = OpenClient(name, GENERIC_WRITE);
    char buffer[4096];
    ExpectInterruptible(server.Get(), [&](Transfer& transfer)
                        { return StartRead(server.Get(), transfer, buffer, sizeof buffer); });
}

TEST(PipeInterrupt, BlockedWriteEndsWhenInterrupted)
{
    const std::string name = UniquePipeName();
    Handle server = MakeServer(name, PIPE_ACCESS_OUTBOUND);
    Handle client = OpenClient(name, GENERIC_READ);
    const std::vector<char> chunk = Pattern(4096);
    ExpectInterruptible(server.Get(),
                        [&](Transfer& transfer)
                        {
                            // Ends with the write that went pending.
                            const bool filled = FillUntilPending(server.Get(), transfer, chunk) >= 0;
                            return Outcome{FALSE, filled ? ERROR_IO_PENDING : ERROR_SUCCESS, 0};
                        });
}

} // namespace
