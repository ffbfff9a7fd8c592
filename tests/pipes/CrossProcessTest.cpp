// Pipes between two processes: 64 MiB arrive exactly and in order both ways, a killed peer ends the
// other side's transfer cleanly, and the standard outputs of a child and a child without input.
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "pipes/PipeTestSupport.h"
#include "support/BlockedCall.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Ostrel::Core;
using namespace zelio_test;

namespace
{

constexpr uint64_t kBytesEachWay = 64u << 20;
constexpr uint64_t kChunk = 64u << 10;

// A POSIX pipe for the child's standard input or output; the end the child gets is closed here
// once the child has started.
struct PlainPipe
{
    PlainPipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~PlainPipe()
    {
        CloseReadEnd();
        CloseWriteEnd();
    }
    void CloseReadEnd() { Close(fds[0]); }
    void CloseWriteEnd() { Close(fds[1]); }
    static void Close(int& fd)
    {
        if (fd >= 0)
        {
            ::close(fd);
            fd = -1;
        }
    }
    int fds[2] = {-1, -1};
};

// Waits for the child's ready byte.
bool ChildIsReady(PlainPipe& signal)
{
    char byte = 0;
    return ::read(signal.fds[0], &byte, 1) == 1 && byte == 'R';
}

// Writes the pattern in chunks with write(data, size) until size bytes went or a write fell short.
template <class Write> uint64_t WritePattern(uint64_t size, Write&& write)
{
    uint64_t sent = 0;
    while (sent < size)
    {
        const auto chunk = Pattern(std::min(kChunk, size - sent), sent);
        const uint64_t n = write(chunk.data(), chunk.size());
        sent += n;
        if (n < chunk.size())
        {
            break;
        }
    }
    return sent;
}

// Reads until size bytes came or a read returned 0, checking the pattern as it goes.
template <class Read> uint64_t ReadPattern(uint64_t size, Read&& read)
{
    std::vector<uint8_t> buffer(kChunk);
    uint64_t received = 0;
    while (received < size)
    {
        const uint64_t n = read(buffer.data(), std::min<uint64_t>(buffer.size(), size - received));
        if (n == 0 || !MatchesPattern(buffer.data(), n, received))
        {
            break;
        }
        received += n;
    }
    return received;
}

TEST(CrossProcess, PipePairCarries64MiBEachWayExactly)
{
    const std::string toChild = UniquePipeName();
    const std::string fromChild = UniquePipeName();
    auto output = DataOutputPipe::Create(toChild, true);
    auto input = DataInputPipe::Create(fromChild, true);
    ChildProcess child({"echo-pair", toChild, fromChild});

    auto writer = std::async(std::launch::async,
                             [&]
                             {
                                 const uint64_t sent =
                                     WritePattern(kBytesEachWay, [&](const uint8_t* d, uint64_t n)
                                                  { return output->Write(d, n); });
                                 output.reset(); // the child sees the end and stops
                                 return sent;
                             });
    const uint64_t received =
        ReadPattern(kBytesEachWay, [&](uint8_t* d, uint64_t n) { return input->Read(d, n); });
    EXPECT_EQ(writer.get(), kBytesEachWay);
    EXPECT_EQ(received, kBytesEachWay);
    EXPECT_EQ(child.Wait(), 0);
}

TEST(CrossProcess, DuplexPipeCarries64MiBEachWayExactly)
{
    const std::string name = UniquePipeName();
    uint64_t bufferSize = 0;
    auto duplex = DataInputOutputPipe::Create(name, true, bufferSize);
    PlainPipe ready;
    ChildProcess child({"echo-duplex", name}, {false, -1, ready.fds[1]});
    ready.CloseWriteEnd();
    ASSERT_TRUE(ChildIsReady(ready));

    // Each Write of the duplex moves one transfer: a chunk goes in as many Writes as it takes.
    const auto writeWhole = [&](const uint8_t* d, uint64_t n)
    {
        uint64_t sent = 0;
        for (uint64_t w = 1; sent < n && w != 0; sent += w)
        {
            w = duplex->Write(d + sent, n - sent);
        }
        return sent;
    };
    auto writer = std::async(std::launch::async, [&] { return WritePattern(kBytesEachWay, writeWhole); });
    const uint64_t received =
        ReadPattern(kBytesEachWay, [&](uint8_t* d, uint64_t n) { return duplex->Read(d, n); });
    EXPECT_EQ(writer.get(), kBytesEachWay);
    EXPECT_EQ(received, kBytesEachWay);
    duplex.reset();
    EXPECT_EQ(child.Wait(), 0);
}

TEST(CrossProcess, KilledPeerEndsAWaitingWriteWithAWarningAndAShortCount)
{
    LogCapture log;
    const std::string name = UniquePipeName();
    auto output = DataOutputPipe::Create(name, true);
    PlainPipe ready;
    ChildProcess child({"read-then-hang", name}, {false, -1, ready.fds[1]});
    ready.CloseWriteEnd();
    BlockedCall writer(
        [&] {
            return WritePattern(kBytesEachWay,
                                [&](const uint8_t* d, uint64_t n) { return output->Write(d, n); });
        });
    ASSERT_TRUE(ChildIsReady(ready));
    // The child reads no more: the write waits on the full pipe.
    ASSERT_TRUE(writer.WaitUntilBlocked());
    child.Kill();
    ASSERT_TRUE(writer.ReturnsPromptly());
    EXPECT_LT(writer.Get(), kBytesEachWay);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"WARNING The pipe has been closed from the other side."});
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
    uint64_t written = 0;
    EXPECT_THROW(output->WriteRaw(nullptr, 0, &written), std::invalid_argument);
}

TEST(StandardStreams, ReleasedOutputClosesWhatThePeerSeesAndKeepsDescriptorOneTaken)
{
    PlainPipe stdoutPipe;
    PlainPipe stdinPipe;
    ChildProcess child({"write-stdout", "10000"}, {false, stdinPipe.fds[0], stdoutPipe.fds[1]});
    stdoutPipe.CloseWriteEnd();
    stdinPipe.CloseReadEnd();

    // The end of the stream arrives while the child still lives, waiting for our byte.
    const uint64_t received = ReadPattern(20000,
                                          [&](uint8_t* d, uint64_t n)
                                          {
                                              const ssize_t got = ::read(stdoutPipe.fds[0], d, n);
                                              return got > 0 ? static_cast<uint64_t>(got) : 0;
                                          });
    EXPECT_EQ(received, 10000u);
    const char go = 'g';
    EXPECT_EQ(::write(stdinPipe.fds[1], &go, 1), 1);
    EXPECT_EQ(child.Wait(), 0);
}

TEST(StandardStreams, TwoOutputsShareTheHandleAndNoneIsMadeOnceItIsClosed)
{
    PlainPipe stdoutPipe;
    ChildProcess child({"two-stdout"}, {false, -1, stdoutPipe.fds[1]});
    stdoutPipe.CloseWriteEnd();
    const uint64_t received = ReadPattern(100,
                                          [&](uint8_t* d, uint64_t n)
                                          {
                                              const ssize_t got = ::read(stdoutPipe.fds[0], d, n);
                                              return got > 0 ? static_cast<uint64_t>(got) : 0;
                                          });
    EXPECT_EQ(received, 10u);
    EXPECT_EQ(child.Wait(), 0);
}

TEST(StandardStreams, ProcessWithoutStandardInputGetsNoStream)
{
    ChildProcess child({"no-stdin"}, {true, -1, -1});
    EXPECT_EQ(child.Wait(), 0);
}

} // namespace
