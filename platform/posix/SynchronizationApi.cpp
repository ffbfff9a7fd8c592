// CreateEventW, SetEvent, ResetEvent, WaitForMultipleObjects.
#include "Event.h"
#include "FixedList.h"
#include "HandleTable.h"
#include "LastError.h"
#include "MultipleWait.h"

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
        std::shared_ptr<Event> event = Event::Create(bInitialState != FALSE);
        if (!event)
        {
            return nullptr;
        }
        HANDLE handle = HandleTable::Instance().Insert(std::move(event));
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

namespace
{

// Runs the change on the event with its slot locked: no reference is taken.
template <class Change> BOOL ChangeEvent(HANDLE handle, Change change)
{
    const bool done = HandleTable::Instance().Visit(handle,
                                                    [&](KernelObject& object)
                                                    {
                                                        Event* event = object.AsEvent();
                                                        if (event != nullptr)
                                                        {
                                                            change(*event);
                                                        }
                                                        return event != nullptr;
                                                    });
    if (!done)
    {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return done ? TRUE : FALSE;
}

// The lowest index among the events that is signalled now, nCount when none is, -1 when a handle
// names no event. Takes no reference: most waits after a transfer that finished at once end here.
int FirstSignalledNow(DWORD nCount, const HANDLE* handles)
{
    DWORD first = nCount;
    for (DWORD i = 0; i < nCount; ++i)
    {
        const bool valid =
            HandleTable::Instance().Visit(handles[i],
                                          [&](KernelObject& object)
                                          {
                                              Event* event = object.AsEvent();
                                              if (event != nullptr && first == nCount && event->IsSignalled())
                                              {
                                                  first = i;
                                              }
                                              return event != nullptr;
                                          });
        if (!valid)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return -1;
        }
    }
    return static_cast<int>(first);
}

} // namespace

extern "C" BOOL SetEvent(HANDLE hEvent)
{
    return ChangeEvent(hEvent, [](Event& event) { event.Set(); });
}

extern "C" BOOL ResetEvent(HANDLE hEvent)
{
    return ChangeEvent(hEvent, [](Event& event) { event.Reset(); });
}

extern "C" DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
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
    FixedList<std::shared_ptr<Event>, MAXIMUM_WAIT_OBJECTS> events;
    for (DWORD i = 0; i < nCount; ++i)
    {
        std::shared_ptr<Event> event = FindEvent(lpHandles[i]);
        if (!event)
        {
            return WAIT_FAILED;
        }
        events.Add(std::move(event));
    }
    return MultipleWait(events.Data(), nCount).Run(dwMilliseconds);
}
