// Progress: a line on standard error that shows how many bytes a transfer has moved and at what
// rate, rewritten in place a few times a second. It shows only when standard error is a terminal;
// otherwise nothing is ever written. Any thread may count bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace zelio_tool
{

class Progress
{
public:
    Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // Ends the line, as Finish does.
    ~Progress();

    void Add(std::uint64_t bytes);
    // Writes the last figures and ends the line; later calls do nothing.
    void Finish();

    // "12.5 MiB, 310.2 MiB/s": the figures for bytes moved in seconds.
    static std::string Figures(std::uint64_t bytes, double seconds);

private:
    using Clock = std::chrono::steady_clock;

    void Show(bool last);

    static constexpr std::chrono::milliseconds kInterval{250};

    const bool m_enabled;
    const Clock::time_point m_start;
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<Clock::rep> m_nextShow;
    std::mutex m_writing;
    bool m_finished = false;
};

} // namespace zelio_tool
