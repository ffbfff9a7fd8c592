// The far side's loop of the channel benchmarks, for any side with Read and Write: a frame whose
// first byte is 'L' is acknowledged with a 9-byte frame ('A', then the voluntary context switches
// this process made since the first frame of the pass, 8 bytes little-endian), one whose first byte
// is 'P' is sent back as it came, others are only received. Returns at the end (a Read of 0).
#pragma once

#include "channel/SocketFrames.h"

#include <cstdint>
#include <vector>

namespace zelio_bench
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
            passStart = VoluntarySwitches();
            inPass = true;
        }
        if (frame[0] == 'L')
        {
            uint8_t ack[9] = {'A'};
            EncodeLength(VoluntarySwitches() - passStart, ack + 1);
            inPass = false;
            side.Write(ack, sizeof ack);
        }
        else if (frame[0] == 'P')
        {
            side.Write(frame.data(), size);
        }
    }
}

} // namespace zelio_bench
