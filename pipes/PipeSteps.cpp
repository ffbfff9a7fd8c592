// The steps that the pipe input and the pipe output share.
#include "pipes/PipeSteps.h"
#include "pipes/SharedPipeHandle.h"

#include <glog/logging.h>

namespace Ostrel::Core::detail
{

HANDLE CreateManualResetEvent()
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void PrepareOverlapped(OVERLAPPED& overlapped)
{
    ResetEvent(overlapped.hEvent);
    overlapped.Offset = 0;
    overlapped.OffsetHigh = 0;
}

void WaitForTransferOrInterrupt(const HANDLE (&waitList)[2])
{
    WaitForMultipleObjects(2, waitList, FALSE, INFINITE);
}

void ConnectServerEnd(HANDLE pipe, OVERLAPPED& overlapped, const HANDLE (&waitList)[2])
{
    PrepareOverlapped(overlapped);
    SetLastError(0);
    if (ConnectNamedPipe(pipe, &overlapped) || GetLastError() != ERROR_IO_PENDING)
    {
        return;
    }
    WaitForTransferOrInterrupt(waitList);
    SetLastError(0);
    DWORD transferred = 0;
    if (GetOverlappedResult(pipe, &overlapped, &transferred, FALSE))
    {
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_PIPE_CONNECTED)
    {
        LOG(ERROR) << "Cannot connect the pipe, error " << error << ".";
    }
}

void CancelTransfer(HANDLE pipe, OVERLAPPED& overlapped)
{
    CancelIo(pipe);
    DWORD transferred = 0;
    GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
}

bool LogClosingCondition(DWORD error)
{
    switch (error)
    {
    case ERROR_BROKEN_PIPE:
        LOG(WARNING) << "The pipe has been closed from the other side.";
        return true;
    case ERROR_MORE_DATA:
        LOG(WARNING) << "Message is longer than the size";
        return true;
    default:
        return false;
    }
}

bool CloseAfterFailure(HANDLE& pipe, std::shared_ptr<SharedPipeHandle>& share)
{
    if (share)
    {
        share.reset();
    }
    else if (!CloseHandle(pipe))
    {
        LOG(ERROR) << "Cannot close the pipe, error " << GetLastError() << ".";
    }
    pipe = INVALID_HANDLE_VALUE;
    return false;
}

void CloseEvent(HANDLE event)
{
    if (event != nullptr)
    {
        CloseHandle(event);
    }
}

} // namespace Ostrel::Core::detail
