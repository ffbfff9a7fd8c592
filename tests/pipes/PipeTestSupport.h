// Helpers for the pipe and channel tests: unique names, patterned payloads, the channel tests' frame
// plans and their writers, a bound on how long a blocked call may take to return, and a child
// process running the pipes test helper.
#pragma once

#include <Ostrel/Core/IDataChannel.h>

#include "support/PortableSupport.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zelio_test
{

// Far longer than any prompt return takes; only a hang exceeds it.
constexpr auto kPrompt = std::chrono::seconds(10);

std::string UniquePipeName();

// Bytes whose value depends on their offset, so that a lost, repeated or reordered block shows.
using zelio_portable::Pattern;
bool MatchesPattern(const uint8_t* data, uint64_t size, uint64_t offset);

// count different frame sizes for the channel tests, the same in both processes for one seed: the
// sizes where transfers change (1, 7 to 9, 4095 to 4097, 65536, 65537, the largest; those up to the
// largest), then random ones, about a third of them up to the largest and the rest up to 8 KiB, in
// shuffled order.
std::vector<uint64_t> FrameSizes(uint64_t seed, size_t count, uint64_t largest);
// Where frame id's pattern starts, so that frames of one size differ.
inline uint64_t FrameOffset(uint64_t id)
{
    return id * 1000003;
}

// Writes frame i of the plan (sizes[i] bytes of the pattern at FrameOffset(i)) from writer thread
// i % writers, each writer's frames in order; then, with endMarker, the end marker. True when every
// Write took its whole frame.
bool WriteFrames(Ostrel::Core::IDataChannel& channel, const std::vector<uint64_t>& sizes, int writers,
                 bool endMarker);

// Runs f on another thread; true when it returned within kPrompt.
template <class F> bool ReturnsPromptly(std::future<F>& result)
{
    return result.wait_for(kPrompt) == std::future_status::ready;
}

// A child process running tests/pipes/pipes_test_helper with the given arguments.
class ChildProcess
{
public:
    struct Options
    {
        bool closeStandardInput = false;
        int standardInput = -1;  // a descriptor to give the child as its standard input
        int standardOutput = -1; // a descriptor to give the child as its standard output
    };

    ChildProcess(const std::vector<std::string>& arguments, const Options& options);
    explicit ChildProcess(const std::vector<std::string>& arguments) : ChildProcess(arguments, Options{}) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit status, or 128 + the signal number; waits at most kPrompt (then kills it and
    // returns -1).
    int Wait();
    void Kill();

private:
    pid_t m_pid = -1;
};

} // namespace zelio_test
