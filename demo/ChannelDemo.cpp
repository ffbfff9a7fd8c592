// The demo's main act. A parent takes two pipe names, creates the server ends, and starts itself
// again as the child with the names. Each side makes a threaded channel over its pipe pair, with a
// listener that counts the frames announced to it. The parent sends a plan (how many frames), then
// frames of varied sizes from 1 byte to several MiB; the child checks each one's length and MD5
// against what the plan says it must be and echoes it; the parent checks the echo the same way and
// times the round trip. Both end with the end marker.
#include "ChannelDemo.h"

#include <Ostrel/ZelIO.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <random>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace Ostrel::Core;

namespace zelio_demo
{
namespace
{

constexpr uint64_t kLargestFrame = 6u << 20;

// Counts what the channel announces; runs on the channel's reader thread.
class CountingListener : public IByteDataInputListener
{
public:
    void OnDataAvailable(uint64_t size) override
    {
        frames.fetch_add(1, std::memory_order_relaxed);
        bytes.fetch_add(size, std::memory_order_relaxed);
    }
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> bytes{0};
};

// The frame sizes, the same on both sides: many small frames for latency, then a spread of sizes
// up to several MiB. The order is shuffled with a fixed seed.
std::vector<uint64_t> FramePlan()
{
    std::vector<uint64_t> sizes(1000, 64);
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 1800; ++i)
    {
        sizes.push_back(1 + random() % 65536);
    }
    for (int i = 0; i < 150; ++i)
    {
        sizes.push_back(65536 + random() % (1u << 20));
    }
    for (uint64_t mib = 1; mib <= 6; ++mib)
    {
        sizes.push_back(mib << 20);
        sizes.push_back((mib << 20) - 1);
    }
    sizes.push_back(1);
    std::shuffle(sizes.begin() + 1000, sizes.end(), random);
    return sizes;
}

// Frame i's bytes: a function of its index and offset.
void FillFrame(uint64_t index, uint64_t size, std::vector<uint8_t>& frame)
{
    frame.resize(size);
    for (uint64_t at = 0; at < size; ++at)
    {
        frame[at] = static_cast<uint8_t>(index * 7919 + at * 31 + (at >> 8));
    }
}

std::vector<uint8_t> Digest(const uint8_t* data, uint64_t size)
{
    return MD5Generate(DataInputMemory::Create(data, size), "");
}

struct Channel
{
    CountingListener listener;
    boost::intrusive_ptr<IDataChannel> channel;

    Channel(boost::intrusive_ptr<IByteDataInput> input, boost::intrusive_ptr<IByteDataOutput> output)
        : channel(CommunicationChannel::Create(std::move(input), std::move(output), true))
    {
        channel->SetListener(&listener);
    }
    ~Channel()
    {
        channel->SetListener(nullptr);
        channel.reset();
    }
};

// Checks a received frame against frame index of the plan; an empty text when it matches.
std::string Check(const char* who, uint64_t index, uint64_t expectedSize,
                  const std::vector<uint8_t>& received, uint64_t receivedSize, std::vector<uint8_t>& expected)
{
    if (receivedSize != expectedSize)
    {
        std::ostringstream text;
        text << who << ": frame " << index << " has " << receivedSize << " bytes, expected " << expectedSize;
        return text.str();
    }
    FillFrame(index, expectedSize, expected);
    if (Digest(received.data(), receivedSize) != Digest(expected.data(), expectedSize))
    {
        std::ostringstream text;
        text << who << ": frame " << index << " has the wrong MD5";
        return text.str();
    }
    return {};
}

pid_t StartChild(const std::string& self, const std::string& toChild, const std::string& toParent)
{
    std::vector<std::string> args{self, kChildFlag, toChild, toParent};
    std::vector<char*> argv;
    for (auto& arg : args)
    {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
    {
        return -1;
    }
    return pid;
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty()
               ? 0
               : values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))];
}

} // namespace

int RunChannelChild(const std::string& toChild, const std::string& toParent)
{
    auto input = DataInputPipe::Create(toChild, false);
    auto output = DataOutputPipe::Create(toParent, false);
    Channel side(input, output);
    std::vector<uint8_t> received(kLargestFrame);
    std::vector<uint8_t> expected;
    const auto plan = FramePlan();
    for (uint64_t i = 0; i < plan.size(); ++i)
    {
        const uint64_t size = side.channel->Read(received.data(), received.size());
        const std::string failure = Check("child", i, plan[i], received, size, expected);
        if (!failure.empty())
        {
            std::cerr << failure << '\n';
            return 1;
        }
        side.channel->Write(received.data(), size);
    }
    // The parent's end marker ends our reader thread: reads return 0 from then on.
    if (side.channel->Read(received.data(), received.size()) != 0)
    {
        std::cerr << "child: a frame came after the last one of the plan\n";
        return 1;
    }
    side.channel->Write(nullptr, 0);
    return 0;
}

int RunChannelParent(const std::string& self)
{
    const std::string toChild = GeneratePipeName();
    const std::string toParent = GeneratePipeName();
    auto output = DataOutputPipe::Create(toChild, true);
    auto input = DataInputPipe::Create(toParent, true);
    const pid_t child = StartChild(self, toChild, toParent);
    if (child < 0)
    {
        std::cerr << "cannot start the child process\n";
        return 1;
    }

    std::string failure;
    std::vector<double> pingMicros;
    uint64_t bytesEachWay = 0;
    double seconds = 0;
    const auto plan = FramePlan();
    {
        Channel side(input, output);
        std::vector<uint8_t> frame;
        std::vector<uint8_t> echo(kLargestFrame);
        std::vector<uint8_t> expected;
        const auto start = std::chrono::steady_clock::now();
        for (uint64_t i = 0; i < plan.size() && failure.empty(); ++i)
        {
            FillFrame(i, plan[i], frame);
            const auto sent = std::chrono::steady_clock::now();
            side.channel->Write(frame.data(), frame.size());
            const uint64_t size = side.channel->Read(echo.data(), echo.size());
            const double micros =
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent).count();
            if (plan[i] == 64)
            {
                pingMicros.push_back(micros);
            }
            failure = Check("parent", i, plan[i], echo, size, expected);
            bytesEachWay += size;
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        side.channel->Write(nullptr, 0);
        if (failure.empty() && side.channel->Read(echo.data(), echo.size()) != 0)
        {
            failure = "parent: the child's end marker did not end the channel";
        }
        std::cout << "ZelIO channel demo: two processes, threaded channels over named pipes\n"
                  << "  frames each way:   " << plan.size() << " (sizes 1 B to " << (kLargestFrame >> 20)
                  << " MiB), announced to the parent's listener: " << side.listener.frames << '\n';
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
    {
        failure = "the child process failed";
    }

    std::cout << std::fixed << std::setprecision(1) << "  bytes each way:    " << bytesEachWay << " ("
              << bytesEachWay / 1048576.0 << " MiB)\n"
              << "  round trip, 64 B:  median " << Percentile(pingMicros, 0.5) << " us, p99 "
              << Percentile(pingMicros, 0.99) << " us\n"
              << "  throughput:        " << 2 * bytesEachWay / 1048576.0 / seconds << " MiB/s (both ways, "
              << seconds << " s)\n";
    if (!failure.empty())
    {
        std::cout << "FAILED: " << failure << '\n';
        return 1;
    }
    std::cout << "OK: every frame arrived whole and came back whole\n";
    return 0;
}

} // namespace zelio_demo
