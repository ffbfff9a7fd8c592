// The demo's main act: two processes talking through communication channels over named pipes.
#pragma once

#include <string>

namespace zelio_demo
{

// The parent: makes the pipes, starts the child (this program again, with childArguments first),
// exchanges the frames, prints the summary. Returns the exit status: 0 when every frame came back
// whole.
int RunChannelParent(const std::string& self);

// The child: opens the pipes the parent named and echoes every frame after checking it.
int RunChannelChild(const std::string& toChild, const std::string& toParent);

constexpr const char* kChildFlag = "--channel-child";

} // namespace zelio_demo
