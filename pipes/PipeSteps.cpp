// The steps that the pipe input and the pipe output share.
#include "pipes/PipeSteps.h"
#include "pipes/FilePosition.h"
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

TransferPlacement::TransferPlacement(OVERLAPPED& overlapped, const std::shared_ptr<SharedPipeHandle>& share)
    : m_position(share ? share->Position() : nullptr)
{
    PrepareOverlapped(overlapped);
    if (!m_position)
    {
        return;
    }
    m_lock = std::unique_lock<std::mutex>(m_position->Lock());
    m_offset = m_position->Next();
    overlapped.Offset = static_cast<DWORD>(m_offset);
    overlapped.OffsetHigh = static_cast<DWORD>(m_offset >> 32);
}

void TransferPlacement::Moved(DWORD transferred)
{
    if (m_position)
    {
        m_position->Advance(m_offset, transferred);
    }
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

namespace
{

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

} // namespace

bool LogReadClosingCondition(DWORD error)
{
    return LogClosingCondition(error == ERROR_HANDLE_EOF ? ERROR_BROKEN_PIPE : error);
}

bool LogWriteClosingCondition(DWORD error)
{
    return LogClosingCondition(error == ERROR_NO_DATA ? ERROR_BROKEN_PIPE : error);
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
