// pipes_test_helper: the child process of the cross-process pipe tests. The first argument names
// what it does; the exit status says whether what it checked held (0) or not.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/DataStdInput.h>
#include <Ostrel/Core/DataStdOutput.h>

#include "pipes/PipeTestSupport.h"

#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Ostrel::Core;

namespace
{

constexpr uint64_t kChunk = 64 * 1024;

// Tells the parent, through standard output, that the pipes are open.
void SignalReady()
{
    const char ready = 'R';
    (void)::write(1, &ready, 1);
}

// Waits until the parent writes a byte to standard input, or closes it.
void WaitForParent()
{
    char byte;
    (void)::read(0, &byte, 1);
}

// Echoes a pair of pipes: bytes from the parent's server output go back through its server input.
int EchoPair(const std::string& fromParent, const std::string& toParent)
{
    auto input = DataInputPipe::Create(fromParent, false);
    auto output = DataOutputPipe::Create(toParent, false);
    std::vector<uint8_t> buffer(kChunk);
    for (;;)
    {
        const uint64_t got = input->Read(buffer.data(), buffer.size());
        if (got == 0 || output->Write(buffer.data(), got) != got)
        {
            return 0;
        }
    }
}

// Echoes a duplex pipe, one transfer at a time.
int EchoDuplex(const std::string& name)
{
    uint64_t bufferSize = 0;
    auto duplex = DataInputOutputPipe::Create(name, false, bufferSize);
    SignalReady();
    std::vector<uint8_t> buffer(bufferSize);
    for (;;)
    {
        const uint64_t got = duplex->Read(buffer.data(), buffer.size());
        if (got == 0)
        {
            return 0;
        }
        for (uint64_t sent = 0; sent < got;)
        {
            const uint64_t n = duplex->Write(buffer.data() + sent, got - sent);
            if (n == 0)
            {
                return 1;
            }
            sent += n;
        }
    }
}

// Reads a little, tells the parent, then stops reading until it is killed.
int ReadThenHang(const std::string& name)
{
    auto input = DataInputPipe::Create(name, false);
    std::vector<uint8_t> buffer(kChunk);
    input->Read(buffer.data(), buffer.size());
    SignalReady();
    for (;;)
    {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

// The largest frame the channel modes handle.
constexpr uint64_t kLargestFrame = 16u << 20;

// Echoes every frame of the channel until the peer's end marker, then sends the end marker back.
int EchoFrames(IDataChannel& channel)
{
    // One Read takes a whole frame, since none is larger than the buffer.
    std::vector<uint8_t> frame(kLargestFrame);
    for (;;)
    {
        const uint64_t size = channel.Read(frame.data(), frame.size());
        if (size == 0)
        {
            break;
        }
        if (channel.Write(frame.data(), size) != size)
        {
            return 1;
        }
    }
    channel.Write(nullptr, 0);
    return 0;
}

// Echoes the frames of a threaded channel over the client ends of a pipe pair. With ready, tells
// the parent once the pipes are open.
int ChannelEcho(const std::string& toChild, const std::string& toParent, bool ready)
{
    auto channel = CommunicationChannel::Create(DataInputPipe::Create(toChild, false),
                                                DataOutputPipe::Create(toParent, false), true);
    if (ready)
    {
        SignalReady();
    }
    return EchoFrames(*channel);
}

// Echoes the frames of a threaded channel over the client end of a duplex pipe (one transfer per
// call each way), once the parent knows that the pipe is open.
int ChannelEchoDuplex(const std::string& name)
{
    uint64_t bufferSize = 0;
    auto duplex = DataInputOutputPipe::Create(name, false, bufferSize);
    SignalReady();
    return EchoFrames(*CommunicationChannel::Create(duplex, duplex, true));
}

// Writes the frames of a plan to a threaded channel over the standard output from several writer
// threads, then the end marker, and releases the channel, whose reader waits on a standard input
// that stays silent: the release cancels that read.
int ChannelStandardWriters(int writers, size_t count, uint64_t seed, uint64_t largest)
{
    uint64_t bufferSize = 0;
    auto input = DataStdInput::Create(bufferSize);
    auto output = DataStdOutput::Create(bufferSize);
    if (!input || !output)
    {
        return 2;
    }
    auto channel = CommunicationChannel::Create(input, output, true);
    const bool whole =
        zelio_test::WriteFrames(*channel, zelio_test::FrameSizes(seed, count, largest), writers, true);
    channel.reset();
    return whole ? 0 : 3;
}

// Sends the length of a 16 MiB frame and only its first MiB, tells the parent, then hangs until
// it is killed.
int ChannelTornFrame(const std::string& toChild, const std::string& toParent)
{
    auto input = DataInputPipe::Create(toChild, false);
    auto output = DataOutputPipe::Create(toParent, false);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
    {
        length[i] = static_cast<uint8_t>(kLargestFrame >> (8 * i));
    }
    const auto part = zelio_test::Pattern(1u << 20);
    if (output->Write(length, sizeof length) != sizeof length ||
        output->Write(part.data(), part.size()) != part.size())
    {
        return 1;
    }
    SignalReady();
    for (;;)
    {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

// Writes count patterned bytes to standard output, releases it, and checks that descriptor 1 is
// still taken, so that the next open() cannot take its place.
int WriteStandardOutput(uint64_t count)
{
    uint64_t bufferSize = 0;
    auto output = DataStdOutput::Create(bufferSize);
    if (!output || bufferSize != 4096)
    {
        return 2;
    }
    const auto bytes = zelio_test::Pattern(count);
    for (uint64_t sent = 0; sent < count;)
    {
        const uint64_t n = output->Write(bytes.data() + sent, count - sent);
        if (n == 0 || n > 4096)
        {
            return 3;
        }
        sent += n;
    }
    output.reset();
    const int next = ::open("/dev/null", O_RDONLY);
    if (next == 1)
    {
        return 4;
    }
    WaitForParent();
    return 0;
}

// Two standard outputs at once: releasing one leaves the other working; once both are gone the
// handle is closed, and no new standard output is made over it.
int TwoStandardOutputs()
{
    uint64_t bufferSize = 0;
    auto first = DataStdOutput::Create(bufferSize);
    auto second = DataStdOutput::Create(bufferSize);
    if (!first || !second)
    {
        return 2;
    }
    first.reset();
    const auto bytes = zelio_test::Pattern(10);
    if (second->Write(bytes.data(), bytes.size()) != bytes.size())
    {
        return 3;
    }
    second.reset();
    uint64_t untouched = 77;
    return DataStdOutput::Create(untouched) || untouched != 77 ? 4 : 0;
}

// Started without a standard input: no stream, and the size left alone.
int NoStandardInput()
{
    uint64_t bufferSize = 77;
    return !DataStdInput::Create(bufferSize) && bufferSize == 77 ? 0 : 2;
}

} // namespace

// Writes count blocks of 4096 'L' through DataStdOutput while another thread writes count blocks
// of 4096 'R' to the same standard output with plain writes: a file shared by both.
int ShareStandardOutput(uint64_t count)
{
    uint64_t bufferSize = 0;
    auto output = DataStdOutput::Create(bufferSize);
    if (!output)
    {
        return 2;
    }
    std::thread plain(
        [count]
        {
            const std::vector<char> block(4096, 'R');
            for (uint64_t i = 0; i < count; ++i)
            {
                (void)::write(1, block.data(), block.size());
            }
        });
    const std::vector<uint8_t> block(4096, 'L');
    uint64_t whole = 0;
    for (uint64_t i = 0; i < count; ++i)
    {
        whole += output->Write(block.data(), block.size()) == block.size() ? 1 : 0;
    }
    plain.join();
    return whole == count ? 0 : 3;
}

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "echo-pair")
    {
        return EchoPair(args[1], args[2]);
    }
    if (args.size() == 2 && args[0] == "echo-duplex")
    {
        return EchoDuplex(args[1]);
    }
    if (args.size() == 2 && args[0] == "read-then-hang")
    {
        return ReadThenHang(args[1]);
    }
    if ((args.size() == 3 || (args.size() == 4 && args[3] == "ready")) && args[0] == "channel-echo")
    {
        return ChannelEcho(args[1], args[2], args.size() == 4);
    }
    if (args.size() == 2 && args[0] == "channel-echo-duplex")
    {
        return ChannelEchoDuplex(args[1]);
    }
    if (args.size() == 5 && args[0] == "channel-standard-writers")
    {
        return ChannelStandardWriters(std::stoi(args[1]), std::stoul(args[2]), std::stoull(args[3]),
                                      std::stoull(args[4]));
    }
    if (args.size() == 3 && args[0] == "channel-torn-frame")
    {
        return ChannelTornFrame(args[1], args[2]);
    }
    if (args.size() == 2 && args[0] == "write-stdout")
    {
        return WriteStandardOutput(std::stoull(args[1]));
    }
    if (args.size() == 2 && args[0] == "share-stdout")
    {
        return ShareStandardOutput(std::stoull(args[1]));
    }
    if (args.size() == 1 && args[0] == "two-stdout")
    {
        return TwoStandardOutputs();
    }
    if (args.size() == 1 && args[0] == "no-stdin")
    {
        return NoStandardInput();
    }
    return 100;
}
