// The timed passes of the channel benchmarks, written once for every side that moves frames (the
// channel, its socket floor, a peer library): a side has Write(data, size) and Read(data, size),
// the latter returning the length of the next frame. The far side answers as FrameServer.h does.
#pragma once

#include "channel/SocketFrames.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace zelio_bench
{

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

struct PassResult
{
    double seconds = 0;
    uint64_t childSwitches = 0;
};

// Sends the data frames of one pass from writers threads (this one when writers is 1).
template <class Side>
void SendDataFrames(Side& side, const std::vector<uint8_t>& frame, uint64_t count, int writers)
{
    if (writers == 1)
    {
        for (uint64_t i = 0; i < count; ++i)
        {
            side.Write(frame.data(), frame.size());
        }
        return;
    }
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
    {
        const uint64_t share = count / writers + (static_cast<uint64_t>(w) < count % writers ? 1 : 0);
        threads.emplace_back(
            [&side, &frame, share]
            {
                for (uint64_t i = 0; i < share; ++i)
                {
                    side.Write(frame.data(), frame.size());
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
}

// Sends frames - 1 data frames and a last one, then waits for the acknowledgement, which carries
// the child's context switches during the pass.
template <class Side>
PassResult SendFrames(Side& side, std::vector<uint8_t>& frame, uint64_t frames, int writers)
{
    uint8_t ack[9] = {};
    const auto start = Clock::now();
    frame[0] = 'D';
    SendDataFrames(side, frame, frames - 1, writers);
    frame[0] = 'L';
    side.Write(frame.data(), frame.size());
    if (side.Read(ack, sizeof ack) != sizeof ack || ack[0] != 'A')
    {
        std::abort();
    }
    return {Seconds(Clock::now() - start), DecodeLength(ack + 1)};
}

// count round trips of frame, each timed into micros; returns this process's voluntary switches.
template <class Side>
uint64_t Ping(Side& side, std::vector<uint8_t>& frame, std::vector<uint8_t>& echo,
              std::vector<double>& micros, int count)
{
    const uint64_t switches = VoluntarySwitches();
    for (int i = 0; i < count; ++i)
    {
        const auto start = Clock::now();
        side.Write(frame.data(), frame.size());
        if (side.Read(echo.data(), echo.size()) != frame.size())
        {
            std::abort();
        }
        micros.push_back(Seconds(Clock::now() - start) * 1e6);
    }
    return VoluntarySwitches() - switches;
}

inline double Median(std::vector<double>& values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double Percentile99(const std::vector<double>& sorted)
{
    return sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
}

// Times 64-byte round trips through the other side and through the channel, interleaved in blocks
// of 100 after a few that are not counted, and reports each one's median and 99th percentile in
// microseconds (counters "<other>_..." and "zelio_..."), the ratio of the medians, and this
// process's context switches per round trip.
template <class Other, class Channel>
void CompareRoundTrips(benchmark::State& state, const std::string& other, Other& otherSide, Channel& channel)
{
    constexpr int kBlock = 100;
    std::vector<uint8_t> frame(64, 0x11);
    frame[0] = 'P';
    std::vector<uint8_t> echo(64);
    std::vector<double> otherMicros;
    std::vector<double> libraryMicros;
    Ping(otherSide, frame, echo, otherMicros, 50);
    Ping(channel, frame, echo, libraryMicros, 50);
    otherMicros.clear();
    libraryMicros.clear();
    uint64_t otherSwitches = 0;
    uint64_t librarySwitches = 0;
    for (auto _ : state)
    {
        otherSwitches += Ping(otherSide, frame, echo, otherMicros, kBlock);
        librarySwitches += Ping(channel, frame, echo, libraryMicros, kBlock);
    }
    const double otherMedian = Median(otherMicros);
    const double libraryMedian = Median(libraryMicros);
    state.counters[other + "_median_us"] = otherMedian;
    state.counters["zelio_median_us"] = libraryMedian;
    state.counters[other + "_p99_us"] = Percentile99(otherMicros);
    state.counters["zelio_p99_us"] = Percentile99(libraryMicros);
    state.counters["ratio"] = libraryMedian / otherMedian;
    state.counters[other + "_vcs_per_trip"] = static_cast<double>(otherSwitches) / otherMicros.size();
    state.counters["zelio_vcs_per_trip"] = static_cast<double>(librarySwitches) / libraryMicros.size();
}

} // namespace zelio_bench
