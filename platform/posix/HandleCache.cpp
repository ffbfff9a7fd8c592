// HandleCache: the per-thread entries and the lookups that fill them.
#include "HandleCache.h"

#include "HandleTable.h"

#include <new>
#include <pthread.h>

namespace Ostrel::Platform
{

namespace
{

// The entries live in plain per-thread storage of the initial-exec model, so that reaching them is
// one instruction rather than a call to __tls_get_addr on every lookup; a thread-specific key
// destroys them when the thread ends. (A thread_local of a type with a destructor would add a
// guard reached through __tls_get_addr.) The few hundred bytes fit the static TLS that the dynamic
// loader keeps for libraries.
struct alignas(CachedHandle) EntryStorage
{
    unsigned char bytes[sizeof(std::array<CachedHandle, 8>)];
};
__attribute__((tls_model("initial-exec"))) thread_local EntryStorage t_storage;
__attribute__((tls_model("initial-exec"))) thread_local bool t_ready = false;

pthread_key_t g_entriesKey;
pthread_once_t g_entriesKeyOnce = PTHREAD_ONCE_INIT;

void DestroyEntries(void* storage)
{
    t_ready = false;
    static_cast<std::array<CachedHandle, 8>*>(storage)->~array();
}

bool g_entriesKeyMade = false;

void MakeEntriesKey()
{
    g_entriesKeyMade = ::pthread_key_create(&g_entriesKey, DestroyEntries) == 0;
}

// When the library is unloaded, threads that used it may still run: their entries must not be
// destroyed by code that is gone when they end. They are left to the process instead.
__attribute__((destructor)) void ForgetEntriesKey()
{
    if (g_entriesKeyMade)
    {
        ::pthread_key_delete(g_entriesKey);
    }
}

} // namespace

HandleCache::Entries& HandleCache::ThreadEntries() noexcept
{
    static_assert(sizeof(Entries) == sizeof(EntryStorage), "the storage holds the entries");
    if (__builtin_expect(!t_ready, 0))
    {
        new (&t_storage) Entries();
        ::pthread_once(&g_entriesKeyOnce, MakeEntriesKey);
        ::pthread_setspecific(g_entriesKey, &t_storage);
        t_ready = true;
    }
    return *std::launder(reinterpret_cast<Entries*>(&t_storage));
}

bool HandleCache::Look(HANDLE handle, CachedHandle& found)
{
    found.object = HandleTable::Instance().Find(handle, found.slotGeneration, found.generation);
    if (!found.object)
    {
        return false;
    }
    found.handle = handle;
    found.event = found.object->AsEvent();
    found.stream = found.object->AsStream();
    return true;
}

} // namespace Ostrel::Platform
