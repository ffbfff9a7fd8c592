// CreateEventW, SetEvent, ResetEvent, WaitForMultipleObjects.
#include "Event.h"
#include "FixedList.h"
#include "HandleTable.h"
#include "LastError.h"
#include "MultipleWait.h"

#include <new>

using namespace Ostrel::Platform;

extern "C" HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName)
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

extern "C" BOOL SetEvent(HANDLE hEvent)
{
    const HandleRef<Event> event = FindEvent(hEvent);
    if (!event)
    {
        return FALSE;
    }
    event->Set();
    return TRUE;
}

extern "C" BOOL ResetEvent(HANDLE hEvent)
{
    const HandleRef<Event> event = FindEvent(hEvent);
    if (!event)
    {
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

extern "C" DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                        DWORD dwMilliseconds)
{
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr || bWaitAll)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    FixedList<HandleRef<Event>, MAXIMUM_WAIT_OBJECTS> refs;
    Event* events[MAXIMUM_WAIT_OBJECTS];
    DWORD firstSignalled = nCount;
    for (DWORD i = 0; i < nCount; ++i)
    {
        HandleRef<Event> event = FindEvent(lpHandles[i]);
        if (!event)
        {
            return WAIT_FAILED;
        }
        events[i] = event.get();
        if (firstSignalled == nCount && event->IsSignalled())
        {
            firstSignalled = i;
        }
        refs.Add(std::move(event));
    }
    // Most waits after a transfer that finished at once end here.
    if (firstSignalled < nCount)
    {
        return WAIT_OBJECT_0 + firstSignalled;
    }
    return MultipleWait(events, nCount).Run(dwMilliseconds);
}
