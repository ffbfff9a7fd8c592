// Progress: counting, and the line on a terminal.
#include "Progress.h"

#include <cstdio>
#include <unistd.h>

namespace zelio_tool
{

Progress::Progress()
    : m_enabled(::isatty(STDERR_FILENO) == 1), m_start(Clock::now()),
      m_nextShow((m_start + kInterval).time_since_epoch().count())
{
}

Progress::~Progress()
{
    Finish();
}

void Progress::Add(std::uint64_t bytes)
{
    m_bytes.fetch_add(bytes, std::memory_order_relaxed);
    if (!m_enabled)
    {
        return;
    }
    const Clock::rep now = Clock::now().time_since_epoch().count();
    Clock::rep due = m_nextShow.load(std::memory_order_relaxed);
    // One thread of those that find the line due shows it.
    if (now >= due && m_nextShow.compare_exchange_strong(due, now + Clock::duration(kInterval).count()))
    {
        Show(false);
    }
}

void Progress::Finish()
{
    if (m_enabled)
    {
        Show(true);
    }
}

std::string Progress::Figures(std::uint64_t bytes, double seconds)
{
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double amount = static_cast<double>(bytes);
    double rate = seconds > 0 ? amount / seconds : 0;
    std::size_t unit = 0;
    for (; unit + 1 < sizeof units / sizeof *units && amount >= 1024; ++unit)
    {
        amount /= 1024;
    }
    std::size_t rateUnit = 0;
    for (; rateUnit + 1 < sizeof units / sizeof *units && rate >= 1024; ++rateUnit)
    {
        rate /= 1024;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%.1f %s, %.1f %s/s", amount, units[unit], rate, units[rateUnit]);
    return text;
}

void Progress::Show(bool last)
{
    const std::lock_guard<std::mutex> lock(m_writing);
    if (m_finished)
    {
        return;
    }
    m_finished = last;
    const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
    const std::string line = "\rzelio: " + Figures(m_bytes.load(std::memory_order_relaxed), seconds) + "   ";
    std::fputs(line.c_str(), stderr);
    if (last)
    {
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}

} // namespace zelio_tool
