// The far end of the two-process pipe benchmarks. The benchmark starts it with
//   pipe_bench_peer read|write BYTES PIPE_NAME
// and hands it three descriptors: 3 carries commands from the benchmark, 4 carries replies back,
// 5 is one end of a socket pair. It opens the client end of the pipe (an input for "read", an
// output for "write"), moves one 4096-byte chunk through it so that the server end has accepted
// it, and replies 'R'. Then, for each command byte:
//   'P'  moves BYTES through the pipe in 4096-byte calls,
//   'S'  moves BYTES through the socket in 4096-byte read/write calls,
//   'Q'  quits;
// after a 'P' or an 'S' it replies with the number of allocations the pass made (8 bytes).
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "support/BenchSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

constexpr uint64_t kChunk = 4096;
constexpr int kCommandFd = 3;
constexpr int kReplyFd = 4;
constexpr int kSocketFd = 5;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "pipe_bench_peer: %s failed\n", what);
    std::abort();
}

void Reply(const void* data, size_t size)
{
    if (::write(kReplyFd, data, size) != static_cast<ssize_t>(size))
    {
        Fail("reply");
    }
}

uint64_t Chunk(uint64_t remaining)
{
    return remaining < kChunk ? remaining : kChunk;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: pipe_bench_peer read|write BYTES PIPE_NAME\n");
        return 2;
    }
    const bool reading = std::strcmp(argv[1], "read") == 0;
    const uint64_t total = std::strtoull(argv[2], nullptr, 10);
    const std::string name = argv[3];

    static uint8_t buffer[kChunk];
    std::memset(buffer, 0x5A, sizeof buffer);
    boost::intrusive_ptr<IByteDataInputEx> input;
    boost::intrusive_ptr<IByteDataOutputEx> output;
    if (reading)
    {
        input = DataInputPipe::Create(name, false);
        if (input->Read(buffer, kChunk) != kChunk)
        {
            Fail("first pipe read");
        }
    }
    else
    {
        output = DataOutputPipe::Create(name, false);
        if (output->Write(buffer, kChunk) != kChunk)
        {
            Fail("first pipe write");
        }
    }
    Reply("R", 1);

    for (;;)
    {
        char command = 'Q';
        if (::read(kCommandFd, &command, 1) != 1 || command == 'Q')
        {
            return 0;
        }
        const uint64_t before = zelio_bench::AllocationCount();
        for (uint64_t moved = 0; moved < total;)
        {
            const uint64_t request = Chunk(total - moved);
            uint64_t count = 0;
            if (command == 'P')
            {
                count = reading ? input->Read(buffer, request) : output->Write(buffer, request);
            }
            else
            {
                const ssize_t n =
                    reading ? ::read(kSocketFd, buffer, request) : ::write(kSocketFd, buffer, request);
                count = n > 0 ? static_cast<uint64_t>(n) : 0;
            }
            if (count == 0)
            {
                Fail(command == 'P' ? "pipe transfer" : "socket transfer");
            }
            moved += count;
        }
        const uint64_t allocations = zelio_bench::AllocationCount() - before;
        Reply(&allocations, sizeof allocations);
    }
}
