// Frames taken by several consumer threads from a channel and checked whole against the plan that
// WriteFrames (PipeTestSupport.h) sent them by.
#pragma once

#include <Ostrel/Core/IDataChannel.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelio_test
{

// What each consumer took, frame by frame, in the order it took them.
using TakenFrames = std::vector<std::vector<std::vector<uint8_t>>>;

// Consumer threads read whole frames (each Read asks for more than the largest) until the channel
// ends.
TakenFrames ConsumeFrames(Ostrel::Core::IDataChannel& channel, int consumers, uint64_t largest);

// Empty when every frame of the plan was taken once, whole, and each consumer took each writer's
// frames in the order they were written; otherwise the first fault.
std::string CheckFrames(const TakenFrames& taken, const std::vector<uint64_t>& sizes, int writers);

} // namespace zelio_test
