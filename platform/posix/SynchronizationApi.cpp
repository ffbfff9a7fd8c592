// CreateEventW, SetEvent, ResetEvent, WaitForMultipleObjects.
#include "Event.h"
#include "FixedList.h"
#include "HandleCache.h"
#include "HandleTable.h"
#include "LastError.h"
#include "MultipleWait.h"

#include <new>

using namespace Ostrel::Platform;

HANDLE Ostrel::Platform::Win32::CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName)
{
    // Auto-reset and named events are not part of this layer.
    if (!bManualReset || lpName != nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try
    {
        HANDLE handle = HandleTable::Instance().Insert(std::make_shared<Event>(bInitialState != FALSE));
        if (handle == INVALID_HANDLE_VALUE)
        {
            return nullptr;
        }
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL Ostrel::Platform::Win32::SetEvent(HANDLE hEvent)
{
    const HandleRef<Event> event = FindEvent(hEvent);
    if (!event)
    {
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL Ostrel::Platform::Win32::ResetEvent(HANDLE hEvent)
{
    const HandleRef<Event> event = FindEvent(hEvent);
    if (!event)
    {
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

namespace
{

// The lowest index among the events that is signalled now, nCount when none is, -1 (error set)
// when a handle names no event. Holds no event beyond the look: most waits after a transfer that
// finished at once end here.
int FirstSignalledNow(DWORD nCount, const HANDLE* handles)
{
    DWORD first = nCount;
    for (DWORD i = 0; i < nCount; ++i)
    {
        const HandleRef<Event> event = FindEvent(handles[i]);
        if (!event)
        {
            return -1;
        }
        if (first == nCount && event->IsSignalled())
        {
            first = i;
        }
    }
    return static_cast<int>(first);
}

} // namespace

DWORD Ostrel::Platform::Win32::WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                        DWORD dwMilliseconds)
{
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr || bWaitAll)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const int signalled = FirstSignalledNow(nCount, lpHandles);
    if (signalled < 0)
    {
        return WAIT_FAILED;
    }
    if (static_cast<DWORD>(signalled) < nCount)
    {
        return WAIT_OBJECT_0 + static_cast<DWORD>(signalled);
    }
    FixedList<HandleRef<Event>, MAXIMUM_WAIT_OBJECTS> refs;
    Event* events[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < nCount; ++i)
    {
        refs.Add(FindEvent(lpHandles[i]));
        events[i] = refs[i].get();
        if (events[i] == nullptr)
        {
            return WAIT_FAILED;
        }
    }
    return MultipleWait(events, nCount).Run(dwMilliseconds);
}
