// Frames between writer threads and consumer threads, checked whole.
#include "channel/FrameExchange.h"

#include "pipes/PipeTestSupport.h"

#include <map>
#include <sstream>
#include <thread>

namespace zelio_test
{

TakenFrames ConsumeFrames(Ostrel::Core::IDataChannel& channel, int consumers, uint64_t largest)
{
    TakenFrames taken(static_cast<size_t>(consumers));
    std::vector<std::thread> threads;
    for (auto& frames : taken)
    {
        threads.emplace_back(
            [&channel, &frames, largest]
            {
                std::vector<uint8_t> buffer(largest + 1);
                for (;;)
                {
                    const uint64_t size = channel.Read(buffer.data(), buffer.size());
                    if (size == 0)
                    {
                        return;
                    }
                    frames.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
    return taken;
}

std::string CheckFrames(const TakenFrames& taken, const std::vector<uint64_t>& sizes, int writers)
{
    std::multimap<uint64_t, uint64_t> unseen; // size -> id
    for (uint64_t id = 0; id < sizes.size(); ++id)
    {
        unseen.emplace(sizes[id], id);
    }
    std::ostringstream fault;
    for (size_t consumer = 0; consumer < taken.size(); ++consumer)
    {
        std::vector<int64_t> lastOfWriter(static_cast<size_t>(writers), -1);
        for (const auto& frame : taken[consumer])
        {
            auto [first, last] = unseen.equal_range(frame.size());
            auto match = first;
            while (match != last && !MatchesPattern(frame.data(), frame.size(), FrameOffset(match->second)))
            {
                ++match;
            }
            if (match == last)
            {
                fault << "consumer " << consumer << " took a frame of " << frame.size()
                      << " bytes that no writer sent (or sent once only)";
                return fault.str();
            }
            const uint64_t id = match->second;
            unseen.erase(match);
            auto& previous = lastOfWriter[id % static_cast<uint64_t>(writers)];
            if (static_cast<int64_t>(id) < previous)
            {
                fault << "consumer " << consumer << " took frame " << id << " after frame " << previous;
                return fault.str();
            }
            previous = static_cast<int64_t>(id);
        }
    }
    if (!unseen.empty())
    {
        fault << unseen.size() << " frames never came, among them frame " << unseen.begin()->second << " of "
              << unseen.begin()->first << " bytes";
    }
    return fault.str();
}

} // namespace zelio_test
