// ReadFile, WriteFile, GetOverlappedResult, CancelIo, CloseHandle, GetFileType, SetFilePointerEx.
#include "HandleCache.h"
#include "HandleTable.h"
#include "LastError.h"
#include "Stream.h"

using namespace Ostrel::Platform;

BOOL Ostrel::Platform::Win32::ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                         LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesRead != nullptr)
    {
        *lpNumberOfBytesRead = 0;
    }
    const HandleRef<Stream> stream = FindStream(hFile);
    if (!stream)
    {
        return FALSE;
    }
    if (lpBuffer == nullptr && nNumberOfBytesToRead > 0)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return stream->Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

BOOL Ostrel::Platform::Win32::WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                          LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesWritten != nullptr)
    {
        *lpNumberOfBytesWritten = 0;
    }
    const HandleRef<Stream> stream = FindStream(hFile);
    if (!stream)
    {
        return FALSE;
    }
    if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return stream->Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
}

BOOL Ostrel::Platform::Win32::GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                    LPDWORD lpNumberOfBytesTransferred, BOOL bWait)
{
    const HandleRef<Stream> stream = FindStream(hFile);
    if (!stream)
    {
        return FALSE;
    }
    return stream->GetResult(lpOverlapped, lpNumberOfBytesTransferred, bWait != FALSE);
}

BOOL Ostrel::Platform::Win32::CancelIo(HANDLE hFile)
{
    const HandleRef<Stream> stream = FindStream(hFile);
    if (!stream)
    {
        return FALSE;
    }
    return stream->CancelIssuedByThisThread();
}

BOOL Ostrel::Platform::Win32::CloseHandle(HANDLE hObject)
{
    std::shared_ptr<KernelObject> object = HandleTable::Instance().Remove(hObject);
    if (!object)
    {
        return FALSE;
    }
    object->Close();
    return TRUE;
}

DWORD Ostrel::Platform::Win32::GetFileType(HANDLE hFile)
{
    const HandleRef<Stream> stream = FindStream(hFile);
    if (!stream)
    {
        return FILE_TYPE_UNKNOWN;
    }
    return stream->FileType();
}

BOOL Ostrel::Platform::Win32::SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                               PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod)
{
    const HandleRef<Stream> stream = FindStream(hFile);
    if (!stream)
    {
        return FALSE;
    }
    int64_t position = 0;
    if (!stream->MovePointer(liDistanceToMove.QuadPart, dwMoveMethod, &position))
    {
        return FALSE;
    }
    if (lpNewFilePointer != nullptr)
    {
        lpNewFilePointer->QuadPart = position;
    }
    return TRUE;
}
