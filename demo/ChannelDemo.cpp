// The demo's main act. A parent takes two pipe names, creates the server ends, and starts itself
// again as the child with the names. Each side makes a threaded channel over its pipe pair, with a
// listener that counts the frames announced to it. The parent sends a plan (how many frames), then
// frames of varied sizes from 1 byte to several MiB; the child checks each one's length and MD5
// against what the plan says it must be and echoes it; the parent checks the echo the same way and
// times the round trip. Both end with the end marker. Whatever fails (the child killed at any
// moment included), the parent prints the summary and the first failure, and exits with status 1.
#include "ChannelDemo.h"

#include <Ostrel/ZelIO.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iomanip>
#include <iostream>
#include <random>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
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

// The descriptor on which the child tells the parent that it has opened the pipes.
constexpr int kReadyDescriptor = 3;

// Starts the child with the write end of readyPipe as its descriptor 3.
pid_t StartChild(const std::string& self, const std::string& toChild, const std::string& toParent,
                 int readyPipe)
{
    std::vector<std::string> args{self, kChildFlag, toChild, toParent};
    std::vector<char*> argv;
    for (auto& arg : args)
    {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, readyPipe, kReadyDescriptor);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

// Waits for the child's ready byte; false when the child ended before it sent one. A server end
// would otherwise wait for ever for a client that will never come.
bool WaitForChild(int readyFds[2])
{
    ::close(readyFds[1]);
    char ready = 0;
    const bool opened = ::read(readyFds[0], &ready, 1) == 1;
    ::close(readyFds[0]);
    return opened;
}

// The first line of an exception's text (the rest is the call stack).
std::string FirstLine(const char* text)
{
    const std::string whole(text);
    return whole.substr(0, whole.find('\n'));
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty()
               ? 0
               : values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))];
}

} // namespace

namespace
{

int EchoPlan(const std::string& toChild, const std::string& toParent)
{
    auto input = DataInputPipe::Create(toChild, false);
    auto output = DataOutputPipe::Create(toParent, false);
    Channel side(input, output);
    const char ready = 'R';
    (void)::write(kReadyDescriptor, &ready, 1);
    ::close(kReadyDescriptor);
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

} // namespace

int RunChannelChild(const std::string& toChild, const std::string& toParent)
{
    try
    {
        return EchoPlan(toChild, toParent);
    }
    catch (const std::exception& e)
    {
        std::cerr << "child: " << FirstLine(e.what()) << '\n';
        return 1;
    }
}

namespace
{

// What the parent measured, for the summary.
struct Exchange
{
    std::string failure;
    std::vector<double> pingMicros;
    uint64_t bytesEachWay = 0;
    uint64_t announced = 0;
    double seconds = 0;
};

// Sends the plan and checks the echoes; stops at the first failure.
void ExchangeFrames(boost::intrusive_ptr<IByteDataInput> input, boost::intrusive_ptr<IByteDataOutput> output,
                    Exchange& result)
{
    Channel side(std::move(input), std::move(output));
    const auto plan = FramePlan();
    std::vector<uint8_t> frame;
    std::vector<uint8_t> echo(kLargestFrame);
    std::vector<uint8_t> expected;
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < plan.size() && result.failure.empty(); ++i)
    {
        FillFrame(i, plan[i], frame);
        const auto sent = std::chrono::steady_clock::now();
        side.channel->Write(frame.data(), frame.size());
        const uint64_t size = side.channel->Read(echo.data(), echo.size());
        const double micros =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent).count();
        if (plan[i] == 64)
        {
            result.pingMicros.push_back(micros);
        }
        result.failure = Check("parent", i, plan[i], echo, size, expected);
        result.bytesEachWay += size;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.announced = side.listener.frames;
    side.channel->Write(nullptr, 0);
    if (result.failure.empty() && side.channel->Read(echo.data(), echo.size()) != 0)
    {
        result.failure = "parent: the child's end marker did not end the channel";
    }
}

void PrintSummary(const Exchange& result, uint64_t frames)
{
    std::cout << "ZelIO channel demo: two processes, threaded channels over named pipes\n"
              << "  frames each way:   " << frames << " (sizes 1 B to " << (kLargestFrame >> 20)
              << " MiB), announced to the parent's listener: " << result.announced << '\n'
              << std::fixed << std::setprecision(1) << "  bytes each way:    " << result.bytesEachWay << " ("
              << result.bytesEachWay / 1048576.0 << " MiB)\n"
              << "  round trip, 64 B:  median " << Percentile(result.pingMicros, 0.5) << " us, p99 "
              << Percentile(result.pingMicros, 0.99) << " us\n"
              << "  throughput:        "
              << (result.seconds > 0 ? 2 * result.bytesEachWay / 1048576.0 / result.seconds : 0.0)
              << " MiB/s (both ways, " << result.seconds << " s)\n";
    if (!result.failure.empty())
    {
        std::cout << "FAILED: " << result.failure << '\n';
        return;
    }
    std::cout << "OK: every frame arrived whole and came back whole\n";
}

} // namespace

int RunChannelParent(const std::string& self)
{
    Exchange result;
    pid_t child = -1;
    try
    {
        const std::string toChild = GeneratePipeName();
        const std::string toParent = GeneratePipeName();
        auto output = DataOutputPipe::Create(toChild, true);
        auto input = DataInputPipe::Create(toParent, true);
        int ready[2] = {-1, -1};
        if (::pipe2(ready, O_CLOEXEC) != 0)
        {
            result.failure = "parent: cannot make the pipe that tells when the child is ready";
        }
        else if ((child = StartChild(self, toChild, toParent, ready[1])) < 0)
        {
            ::close(ready[0]);
            ::close(ready[1]);
            result.failure = "cannot start the child process";
        }
        else if (!WaitForChild(ready))
        {
            result.failure = "the child process ended before it opened the pipes";
        }
        else
        {
            ExchangeFrames(input, output, result);
        }
    }
    catch (const std::exception& e)
    {
        if (result.failure.empty())
        {
            result.failure = "parent: " + FirstLine(e.what());
        }
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && result.failure.empty() &&
        !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
    {
        result.failure = "the child process failed";
    }
    PrintSummary(result, FramePlan().size());
    return result.failure.empty() ? 0 : 1;
}

} // namespace zelio_demo
