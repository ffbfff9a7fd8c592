// HandleCache: the handles the calling thread used last, with a reference to each object. Every
// call of the layer looks its handles up, several times per transfer: a lookup that the cache
// answers reads the handle's slot generation and writes only to the thread's own memory, so
// threads that use one handle at once (the two directions of a duplex end) never touch a shared
// cache line to find it, and take no lock. An object stays cached after its handle is closed until
// its entry is reused; closing releases what the object holds, so only its memory waits.
#pragma once

#include "HandleRef.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace Ostrel::Platform
{

class HandleCache
{
public:
    // The event or the stream (`kind` picks which) that the handle names, or an empty ref with
    // ERROR_INVALID_HANDLE set.
    template <class T> static HandleRef<T> Find(HANDLE handle, T* CachedHandle::*kind)
    {
        CachedHandle& entry = EntryFor(handle);
        if (entry.Holds(handle) && entry.*kind != nullptr)
        {
            return HandleRef<T>(entry.*kind, entry);
        }
        return FindInTable(handle, entry, kind);
    }

    // When the library is unloaded: releases what every thread's entries hold, and forgets the
    // threads, whose end then runs nothing of the library. No thread may be in the layer.
    static void ReleaseEveryThread() noexcept;

private:
    static constexpr std::size_t kEntries = 8;
    using Entries = std::array<CachedHandle, kEntries>;

    // Entries are chosen by the handle's slot index: a thread that uses a few handles at a time
    // keeps them all.
    static CachedHandle& EntryFor(HANDLE handle) noexcept
    {
        return ThreadEntries()[(reinterpret_cast<std::uintptr_t>(handle) >> 2) % kEntries];
    }
    static Entries& ThreadEntries() noexcept;
    template <class T>
    static HandleRef<T> FindInTable(HANDLE handle, CachedHandle& entry, T* CachedHandle::*kind);
    // Fills `found` from the handle table; false (error set) when the handle names nothing.
    static bool Look(HANDLE handle, CachedHandle& found);
};

template <class T>
HandleRef<T> HandleCache::FindInTable(HANDLE handle, CachedHandle& entry, T* CachedHandle::*kind)
{
    CachedHandle found;
    if (!Look(handle, found))
    {
        return HandleRef<T>();
    }
    T* object = found.*kind;
    if (object == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return HandleRef<T>();
    }
    // An entry that a call of this thread still pins keeps its object: this one is held apart.
    if (entry.pins != 0)
    {
        return HandleRef<T>(std::shared_ptr<T>(std::move(found.object), object));
    }
    entry = std::move(found);
    return HandleRef<T>(object, entry);
}

// The event a handle names, or null with ERROR_INVALID_HANDLE set when it names no event.
inline HandleRef<Event> FindEvent(HANDLE handle)
{
    return HandleCache::Find(handle, &CachedHandle::event);
}

// The pipe end or standard handle a handle names, or null with ERROR_INVALID_HANDLE set.
inline HandleRef<Stream> FindStream(HANDLE handle)
{
    return HandleCache::Find(handle, &CachedHandle::stream);
}

} // namespace Ostrel::Platform
