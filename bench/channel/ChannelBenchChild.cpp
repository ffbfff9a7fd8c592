// channel_bench_child: the far side of the channel benchmarks. Arguments: the two pipe names
// (to the child, to the parent); descriptor 3 is the floor's socket. It serves both at once, each
// from its own thread: a frame whose first byte is 'L' is acknowledged with a 9-byte frame ('A',
// then the voluntary context switches this process made since the first frame of the pass, 8 bytes
// little-endian), one whose first byte is 'P' is sent back as it came, others are only received.
// The channel's end marker is answered with one; the floor ends when its socket does.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "channel/FrameServer.h"
#include "channel/SocketFrames.h"

#include <thread>

using namespace Ostrel::Core;
using zelio_bench::Serve;

namespace
{

// The channel seen through the floor's interface.
struct ChannelSide
{
    boost::intrusive_ptr<IDataChannel> channel;
    uint64_t Read(uint8_t* data, uint64_t size) { return channel->Read(data, size); }
    void Write(const uint8_t* data, uint64_t size) { channel->Write(data, size); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        return 2;
    }
    zelio_bench::SocketFrames floor(3);
    std::thread floorServer([&] { Serve(floor); });
    {
        ChannelSide side{CommunicationChannel::Create(DataInputPipe::Create(argv[1], false),
                                                      DataOutputPipe::Create(argv[2], false), true)};
        Serve(side);
        side.channel->Write(nullptr, 0);
    }
    floorServer.join();
    return 0;
}
