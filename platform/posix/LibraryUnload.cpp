// LibraryUnload: what the layer frees when a host unloads the library with dlclose. The handle
// table and the objects that threads cache are kept for the life of the process otherwise, since
// threads that outlive main() may still use them while the process exits; once the library's
// code is unmapped nothing could free them, and a host that loads and unloads the library again
// and again would lose them on every round.
#include "HandleCache.h"
#include "HandleTable.h"

#include <atomic>

namespace Ostrel::Platform
{

namespace
{

// The process runs its exit handlers, this object's destructor among them, before it runs the
// libraries' finalisers; dlclose runs a library's finalisers before its exit handlers. So the
// flag is set in the finaliser below only when the process is exiting.
std::atomic<bool> g_processExiting{false};

struct ExitMark
{
    ~ExitMark() { g_processExiting.store(true, std::memory_order_relaxed); }
} g_exitMark;

__attribute__((destructor)) void FreeWhatTheLayerKeeps()
{
    if (g_processExiting.load(std::memory_order_relaxed))
    {
        return;
    }
    HandleCache::ReleaseEveryThread();
    HandleTable::FreeAtUnload();
}

} // namespace

} // namespace Ostrel::Platform
