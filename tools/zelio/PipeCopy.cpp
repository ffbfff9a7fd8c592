// PipeCopy: the two copying loops and how each ends the other.
#include "PipeCopy.h"

#include "Interruption.h"
#include "StandardStreams.h"
#include "ToolErrors.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace zelio_tool
{

namespace
{

// A cancel made between two transfers is forgotten, so a side that is asked to stop is cancelled
// again this often until it has.
constexpr std::chrono::milliseconds kCancelAgain{20};
// A side that still has not stopped after this long is stuck in a transfer that cannot be
// cancelled (a write to a peer that neither reads nor closes).
constexpr std::chrono::seconds kLongestStop{5};

} // namespace

PipeCopy::PipeCopy(PipeEnds& ends, bool keepReading, Progress& progress)
    : m_ends(ends), m_keepReading(keepReading), m_progress(progress)
{
}

void PipeCopy::Run()
{
    if (m_ends.Input() != nullptr)
    {
        m_stdout = OpenStandardOutput();
        if (!m_stdout)
        {
            throw Failure("there is no standard output to copy the pipe to");
        }
    }
    if (m_ends.Output() != nullptr)
    {
        // Without a standard input there is nothing to send.
        m_stdin = OpenStandardInput();
    }
    const Interruption::Scope cancel(
        [this]
        {
            m_ends.Cancel();
            if (m_stdin)
            {
                m_stdin->Cancel();
            }
        });
    if (m_ends.Output() == nullptr)
    {
        if (!Receive())
        {
            throw Failure("standard output was closed before the pipe ended");
        }
        return;
    }
    if (m_ends.Input() == nullptr)
    {
        if (!Send())
        {
            throw Failure("the other end closed the pipe before all of standard input went");
        }
        return;
    }
    RunBothWays();
}

void PipeCopy::RunBothWays()
{
    std::thread sender([this] { SendThenEnd(); });
    const bool received = Receive();
    MarkEnded(m_receiveEnded);
    StopSending();
    sender.join();
    if (m_sendFailure)
    {
        std::rethrow_exception(m_sendFailure);
    }
    if (!received)
    {
        throw Failure("standard output was closed before the pipe ended");
    }
}

bool PipeCopy::Send()
{
    if (!m_stdin)
    {
        return true;
    }
    uint8_t buffer[kChunk];
    while (!m_stopSending.load())
    {
        const uint64_t got = m_stdin->Read(buffer, sizeof buffer);
        if (got == 0)
        {
            return true;
        }
        const uint64_t sent = m_ends.Output()->Write(buffer, got);
        m_progress.Add(sent);
        if (sent < got)
        {
            return false;
        }
    }
    return true;
}

bool PipeCopy::Receive()
{
    uint8_t buffer[kChunk];
    for (;;)
    {
        const uint64_t got = m_ends.Input()->Read(buffer, sizeof buffer);
        if (got == 0)
        {
            return true;
        }
        if (!WriteWhole(*m_stdout, buffer, got))
        {
            return false;
        }
        m_progress.Add(got);
    }
}

void PipeCopy::SendThenEnd()
{
    try
    {
        // A pipe that stops taking bytes has been closed by the other end, which ends the copy
        // both ways: the receiving side sees that end by itself.
        Send();
        if (!m_keepReading && !m_stopSending.load())
        {
            StopReceiving();
        }
    }
    catch (...)
    {
        m_sendFailure = std::current_exception();
        StopReceiving();
    }
    MarkEnded(m_sendEnded);
}

void PipeCopy::StopReceiving()
{
    const auto giveUp = std::chrono::steady_clock::now() + kLongestStop;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_receiveEnded && std::chrono::steady_clock::now() < giveUp)
    {
        m_ends.Input()->Cancel();
        m_changed.wait_for(lock, kCancelAgain);
    }
}

void PipeCopy::StopSending()
{
    m_stopSending.store(true);
    const auto giveUp = std::chrono::steady_clock::now() + kLongestStop;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_sendEnded)
    {
        if (std::chrono::steady_clock::now() >= giveUp)
        {
            // The sender is stuck in a write nobody takes: the process ends without it.
            std::fputs("zelio: the other end neither reads nor closes the pipe\n", stderr);
            std::fflush(stderr);
            ::_exit(1);
        }
        if (m_stdin)
        {
            m_stdin->Cancel();
        }
        m_changed.wait_for(lock, kCancelAgain);
    }
}

void PipeCopy::MarkEnded(bool& ended)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ended = true;
    m_changed.notify_all();
}

} // namespace zelio_tool
