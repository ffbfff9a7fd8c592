// CreateNamedPipeA, CreateFileA, ConnectNamedPipe.
#include "HandleCache.h"
#include "HandleTable.h"
#include "LastError.h"
#include "PipeClient.h"
#include "PipeName.h"
#include "PipeServer.h"

using namespace Ostrel::Platform;

namespace
{

// Hands the new end a handle; the end is closed again if the table has no room.
HANDLE Publish(std::shared_ptr<Stream> stream)
{
    try
    {
        HANDLE handle = HandleTable::Instance().Insert(stream);
        if (handle == INVALID_HANDLE_VALUE)
        {
            stream->Close();
            return handle;
        }
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    catch (const std::bad_alloc&)
    {
        stream->Close();
        return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace

HANDLE Ostrel::Platform::Win32::CreateNamedPipeA(LPCSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode, DWORD nMaxInstances,
                                   DWORD nOutBufferSize, DWORD nInBufferSize, DWORD, LPSECURITY_ATTRIBUTES)
{
    const DWORD direction = dwOpenMode & PIPE_ACCESS_DUPLEX;
    // Byte mode, blocking mode and one instance are all this layer offers.
    if (direction == 0 || (dwOpenMode & ~(PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED)) != 0 ||
        dwPipeMode != (PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT) || nMaxInstances != 1)
    {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    PipeName name;
    if (!PipeName::Parse(lpName, name))
    {
        return FailHandle(ERROR_INVALID_NAME);
    }
    DWORD access = 0;
    if ((direction & PIPE_ACCESS_INBOUND) != 0)
    {
        access |= GENERIC_READ;
    }
    if ((direction & PIPE_ACCESS_OUTBOUND) != 0)
    {
        access |= GENERIC_WRITE;
    }
    std::shared_ptr<PipeServer> server = PipeServer::Create(
        name, access, (dwOpenMode & FILE_FLAG_OVERLAPPED) != 0, nOutBufferSize, nInBufferSize);
    if (!server)
    {
        return INVALID_HANDLE_VALUE;
    }
    return Publish(std::move(server));
}

HANDLE Ostrel::Platform::Win32::CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                              DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE)
{
    if (dwCreationDisposition != OPEN_EXISTING)
    {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    PipeName name;
    if (!PipeName::Parse(lpFileName, name))
    {
        return FailHandle(ERROR_INVALID_NAME);
    }
    std::shared_ptr<PipeClient> client =
        PipeClient::Open(name, dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE),
                         (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0);
    if (!client)
    {
        return INVALID_HANDLE_VALUE;
    }
    return Publish(std::move(client));
}

BOOL Ostrel::Platform::Win32::ConnectNamedPipe(HANDLE hNamedPipe, LPOVERLAPPED lpOverlapped)
{
    const HandleRef<Stream> stream = FindStream(hNamedPipe);
    if (!stream)
    {
        return FALSE;
    }
    return stream->Connect(lpOverlapped);
}
