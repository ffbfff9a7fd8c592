// LibraryUnload: tells a host's dlclose of the library from the process's exit, for what the layer
// keeps for the life of the process.
#pragma once

namespace Ostrel::Platform
{

// Called once, when the layer first keeps something (the handle table is made), so that the
// process's exit is told apart from then on.
void WatchForProcessExit() noexcept;

} // namespace Ostrel::Platform
