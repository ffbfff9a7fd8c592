// LibraryUnload: what the layer frees when a host unloads the library with dlclose. The handle
// table and the objects that threads cache are kept for the life of the process otherwise, since
// threads that outlive main() may still use them while the process exits; once the library's
// code is unmapped nothing could free them, and a host that loads and unloads the library again
// and again would lose them on every round.
#include "LibraryUnload.h"

#include "HandleCache.h"
#include "HandleTable.h"

#include <atomic>

// The C++ runtime's exit registration, tied to this library: a dlclose runs and forgets what it
// registered, so nothing of the library is called after it is gone.
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* module);
extern "C" void* __dso_handle;

namespace Ostrel::Platform
{

namespace
{

std::atomic<bool> g_processExiting{false};

void MarkProcessExiting(void*)
{
    g_processExiting.store(true, std::memory_order_relaxed);
}

// Runs when the library is unloaded, and when the process exits. The handler registered by
// WatchForProcessExit tells the two apart: it was registered after main() began (or after the
// host's dlopen), so the process's exit runs it before the finalisers of every library, whereas a
// dlclose runs this finaliser before the library's own exit handlers.
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

void WatchForProcessExit() noexcept
{
    // Should the registration fail, the process's exit would be taken for an unload: keep
    // everything then.
    if (__cxa_atexit(MarkProcessExiting, nullptr, &__dso_handle) != 0)
    {
        MarkProcessExiting(nullptr);
    }
}

} // namespace Ostrel::Platform
