// BlockedCall: a call run on a thread of its own, and the explicit sign that it waits inside the
// library: its thread asleep in poll, where every wait of the pipe layer sleeps (as the system
// reports it in /proc/self/task/<thread>/syscall). A test acts on a waiting call (cancels it, kills
// its peer) only once that sign is there, never after a guessed delay.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <type_traits>
#include <unistd.h>

namespace zelio_test
{

// Far longer than any call takes to block or to return; only a hang exceeds it.
constexpr auto kPatience = std::chrono::seconds(10);

// Whether a system call with that number and third argument is a poll that can sleep: poll with
// a time-out other than 0, or ppoll without a time-out.
inline bool IsSleepingPoll(long number, unsigned long long third)
{
#ifdef SYS_poll
    if (number == SYS_poll)
    {
        return static_cast<int>(third) != 0;
    }
#endif
    return number == SYS_ppoll && third == 0;
}

// Whether the thread of this process sleeps in poll.
inline bool SleepsInPoll(pid_t thread)
{
    std::ifstream call("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    unsigned long long first = 0, second = 0, third = 0;
    // A thread that runs reads "running", which is no number.
    return call >> number >> std::hex >> first >> second >> third && IsSleepingPoll(number, third);
}

template <class Result> class BlockedCall
{
public:
    template <class Function> explicit BlockedCall(Function function)
    {
        auto thread = std::make_shared<std::promise<pid_t>>();
        std::future<pid_t> started = thread->get_future();
        m_result = std::async(std::launch::async,
                              [thread, function]() mutable
                              {
                                  thread->set_value(static_cast<pid_t>(::syscall(SYS_gettid)));
                                  return function();
                              });
        m_thread = started.get();
    }
    // A call that never returns would leave its thread using the test's objects after they are
    // gone: the test process ends instead, with a clear message.
    ~BlockedCall()
    {
        if (m_result.valid() && !ReturnsPromptly())
        {
            std::fprintf(stderr, "The call on thread %d never returned.\n", static_cast<int>(m_thread));
            std::abort();
        }
    }
    BlockedCall(const BlockedCall&) = delete;
    BlockedCall& operator=(const BlockedCall&) = delete;

    // True once the call sleeps in poll; false when it returned first, or did not block in time.
    bool WaitUntilBlocked() const
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (m_result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        {
            if (SleepsInPoll(m_thread))
            {
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline)
            {
                return false;
            }
            std::this_thread::yield();
        }
        return false;
    }

    // True when the call has returned, or returns within kPatience.
    bool ReturnsPromptly() const { return m_result.wait_for(kPatience) == std::future_status::ready; }
    Result Get() { return m_result.get(); }

private:
    std::future<Result> m_result;
    pid_t m_thread = -1;
};

template <class Function> BlockedCall(Function) -> BlockedCall<std::invoke_result_t<Function&>>;

} // namespace zelio_test
