// Deadline: the end of a wait given in Win32 milliseconds (INFINITE for none), and the time-out
// that poll gets on the way there. poll takes an int of milliseconds, where a negative value means
// no time-out: a long finite wait is cut into slices poll can take, and the wait goes on slice
// after slice until its deadline.
#pragma once

#include <Ostrel/Platform/posix/Win32Api.h>

#include <chrono>
#include <climits>

namespace Ostrel::Platform
{

class Deadline
{
public:
    using Clock = std::chrono::steady_clock;

    static Deadline After(DWORD milliseconds, Clock::time_point now = Clock::now())
    {
        if (milliseconds == INFINITE)
        {
            return Deadline(Clock::time_point::max());
        }
        return Deadline(now + std::chrono::milliseconds(milliseconds));
    }
    static Deadline Never() { return Deadline(Clock::time_point::max()); }

    bool IsInfinite() const noexcept { return m_at == Clock::time_point::max(); }
    bool HasPassed(Clock::time_point now = Clock::now()) const noexcept
    {
        return !IsInfinite() && now >= m_at;
    }

    // The time-out for poll: until the deadline or the given earlier time, whichever comes first;
    // -1 only when both are infinite. Never negative otherwise, never more than INT_MAX, and
    // rounded up so that poll does not return before the time has come.
    int PollMilliseconds(Clock::time_point retryAt = Clock::time_point::max(),
                         Clock::time_point now = Clock::now()) const noexcept
    {
        const Clock::time_point until = retryAt < m_at ? retryAt : m_at;
        if (until == Clock::time_point::max())
        {
            return -1;
        }
        if (until <= now)
        {
            return 0;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        return left >= INT_MAX ? INT_MAX : static_cast<int>(left);
    }

private:
    explicit Deadline(Clock::time_point at) : m_at(at) {}

    Clock::time_point m_at;
};

} // namespace Ostrel::Platform
