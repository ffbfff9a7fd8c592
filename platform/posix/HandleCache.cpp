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
//
// Every thread's storage is also linked into one list, so that unloading the library can release
// the objects that threads still running hold: they end after the library's code has gone, and
// nothing of the library may run then, so the key that would call it goes too.
struct ThreadStorage
{
    alignas(CachedHandle) unsigned char bytes[sizeof(std::array<CachedHandle, 8>)];
    bool ready;
    ThreadStorage* previous;
    ThreadStorage* next;
};
__attribute__((tls_model("initial-exec"))) thread_local ThreadStorage t_storage;

pthread_mutex_t g_listLock = PTHREAD_MUTEX_INITIALIZER;
ThreadStorage* g_first = nullptr;

pthread_key_t g_entriesKey;
pthread_once_t g_entriesKeyOnce = PTHREAD_ONCE_INIT;
bool g_entriesKeyMade = false;

// Holds the list's lock for a scope.
class ListLock
{
public:
    ListLock() { ::pthread_mutex_lock(&g_listLock); }
    ~ListLock() { ::pthread_mutex_unlock(&g_listLock); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
};

std::array<CachedHandle, 8>& EntriesOf(ThreadStorage& storage)
{
    return *std::launder(reinterpret_cast<std::array<CachedHandle, 8>*>(storage.bytes));
}

void Link(ThreadStorage& storage)
{
    storage.previous = nullptr;
    storage.next = g_first;
    if (g_first != nullptr)
    {
        g_first->previous = &storage;
    }
    g_first = &storage;
}

void Unlink(ThreadStorage& storage)
{
    (storage.previous != nullptr ? storage.previous->next : g_first) = storage.next;
    if (storage.next != nullptr)
    {
        storage.next->previous = storage.previous;
    }
}

// Takes a thread's entries out of its storage and the list, so that what they hold is released
// after the list's lock is given back: a release may then use the layer again.
std::array<CachedHandle, 8> Take(ThreadStorage& storage)
{
    Unlink(storage);
    storage.ready = false;
    std::array<CachedHandle, 8> taken = std::move(EntriesOf(storage));
    EntriesOf(storage).~array();
    return taken;
}

// The end of a thread that used the layer.
void DestroyEntries(void* storage)
{
    // Declared before the lock, so released after it.
    std::array<CachedHandle, 8> taken;
    ListLock lock;
    auto& ended = *static_cast<ThreadStorage*>(storage);
    if (ended.ready)
    {
        taken = Take(ended);
    }
}

void MakeEntriesKey()
{
    g_entriesKeyMade = ::pthread_key_create(&g_entriesKey, DestroyEntries) == 0;
}

// A fork while another thread links or unlinks its storage leaves the child with a list it can use.
void LockListForFork()
{
    ::pthread_mutex_lock(&g_listLock);
}

void UnlockListInParent()
{
    ::pthread_mutex_unlock(&g_listLock);
}

// The child has only the forking thread. The other threads' storage stays in the child's memory,
// and the system reuses it for the threads the child starts: it must leave the list, or those
// threads would link it a second time. What those entries hold stays with the child unreleased.
void ForgetOtherThreadsInChild()
{
    g_first = nullptr;
    if (t_storage.ready)
    {
        Link(t_storage);
    }
    ::pthread_mutex_unlock(&g_listLock);
}

__attribute__((constructor)) void GuardListAcrossFork()
{
    ::pthread_atfork(LockListForFork, UnlockListInParent, ForgetOtherThreadsInChild);
}

} // namespace

HandleCache::Entries& HandleCache::ThreadEntries() noexcept
{
    static_assert(sizeof(Entries) == sizeof(ThreadStorage::bytes), "the storage holds the entries");
    if (__builtin_expect(!t_storage.ready, 0))
    {
        new (t_storage.bytes) Entries();
        ::pthread_once(&g_entriesKeyOnce, MakeEntriesKey);
        ListLock lock;
        Link(t_storage);
        ::pthread_setspecific(g_entriesKey, &t_storage);
        t_storage.ready = true;
    }
    return EntriesOf(t_storage);
}

void HandleCache::ReleaseEveryThread() noexcept
{
    {
        ListLock lock;
        if (g_entriesKeyMade)
        {
            ::pthread_key_delete(g_entriesKey);
            g_entriesKeyMade = false;
        }
    }
    for (;;)
    {
        std::array<CachedHandle, 8> taken;
        ListLock lock;
        if (g_first == nullptr)
        {
            return;
        }
        taken = Take(*g_first);
    }
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
