// channel_bench_child: the far side of the channel benchmarks. Arguments: the two pipe names
// (to the child, to the parent); descriptor 3 is the floor's socket. It serves both at once, each
// from its own thread: a frame whose first byte is 'L' is acknowledged with a 9-byte frame ('A',
// then the voluntary context switches this process made since the first frame of the pass, 8 bytes
// little-endian), one whose first byte is 'P' is sent back as it came, others are only received.
// The channel's end marker is answered with one; the floor ends when its socket does.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>

#include "channel/SocketFrames.h"

#include <string>
#include <thread>
#include <vector>

using namespace Ostrel::Core;

namespace
{

constexpr uint64_t kLargestFrame = 1u << 20;

// Only one side runs a pass at a time, so the whole process's count is that side's.
template <class Side> void Serve(Side& side)
{
    std::vector<uint8_t> frame(kLargestFrame);
    bool inPass = false;
    uint64_t passStart = 0;
    for (;;)
    {
        const uint64_t size = side.Read(frame.data(), frame.size());
        if (size == 0)
        {
            return;
        }
        if (!inPass)
        {
            passStart = zelio_bench::VoluntarySwitches();
            inPass = true;
        }
        if (frame[0] == 'L')
        {
            uint8_t ack[9] = {'A'};
            zelio_bench::EncodeLength(zelio_bench::VoluntarySwitches() - passStart, ack + 1);
            inPass = false;
            side.Write(ack, sizeof ack);
        }
        else if (frame[0] == 'P')
        {
            side.Write(frame.data(), size);
        }
    }
}

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
