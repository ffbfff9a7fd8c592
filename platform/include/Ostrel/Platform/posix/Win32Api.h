// The subset of Win32 that the library calls, declared with Win32's own names, types and values and
// implemented on POSIX inside libzelio. Code written against <windows.h> for this subset runs
// unchanged, call for call. Where the POSIX implementation narrows or decides something that Win32
// leaves open, the function's comment says so.
//
// The functions are the library's own business: they live in the namespace Ostrel::Platform::Win32,
// and the library's calls to them are bound inside the library, so a program that defines a
// GetLastError or a CloseHandle of its own (as ported Windows code often does) never takes them
// over. The using-declarations at the end let the sources that include this header call them by
// their Win32 names. No public header of the library includes it.
#pragma once

#include <Ostrel/Platform/ZelPlatformExport.h>

#include <stddef.h>
#include <stdint.h>

#define ZELPLATFORM_WIN32 ZELPLATFORM_API

// Types
typedef void* HANDLE;
typedef uint32_t DWORD;
typedef int BOOL;
typedef uint16_t WORD;
typedef int32_t LONG;
typedef uintptr_t ULONG_PTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef const char* LPCSTR;
typedef const wchar_t* LPCWSTR;
// Security descriptors do not exist here: the type is opaque and every function ignores it.
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// The record of one overlapped transfer. While the transfer is pending, Internal holds
// STATUS_PENDING (0x103); afterwards it holds the transfer's Win32 error code (0 on success) and
// InternalHigh the number of bytes moved. Offset and OffsetHigh are accepted and ignored: pipes
// and standard handles are streams.
typedef struct _OVERLAPPED
{
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// A signed 64-bit value, as a whole or in halves.
typedef union _LARGE_INTEGER
{
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

// 100-nanosecond ticks since 1601-01-01 00:00:00 UTC.
typedef struct _FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SYSTEMTIME
{
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

typedef enum _GET_FILEEX_INFO_LEVELS
{
    GetFileExInfoStandard,
    GetFileExMaxInfoLevel
} GET_FILEEX_INFO_LEVELS;

// Constants
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INFINITE 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define PIPE_ACCESS_INBOUND 0x00000001u
#define PIPE_ACCESS_OUTBOUND 0x00000002u
#define PIPE_ACCESS_DUPLEX 0x00000003u
#define PIPE_TYPE_BYTE 0x00000000u
#define PIPE_READMODE_BYTE 0x00000000u
#define PIPE_WAIT 0x00000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u

#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

// Error codes
#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_HANDLE_EOF 38u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_DISK_FULL 112u
#define ERROR_INVALID_NAME 123u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_PIPE_BUSY 231u
#define ERROR_NO_DATA 232u
#define ERROR_MORE_DATA 234u
#define ERROR_PIPE_CONNECTED 535u
#define ERROR_PIPE_LISTENING 536u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u

namespace Ostrel::Platform::Win32
{

// Errors: one code per thread. CreateNamedPipeA, CreateFileA and CreateEventW set it to 0 when they
// succeed; the other functions set it only when they fail.
ZELPLATFORM_WIN32 DWORD GetLastError(void);
ZELPLATFORM_WIN32 void SetLastError(DWORD dwErrCode);

// The calling process's id; a child made by fork has its own.
ZELPLATFORM_WIN32 DWORD GetCurrentProcessId(void);

// Events: manual-reset only (bManualReset FALSE and a name give ERROR_INVALID_PARAMETER).
ZELPLATFORM_WIN32 HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCWSTR lpName);
ZELPLATFORM_WIN32 BOOL SetEvent(HANDLE hEvent);
ZELPLATFORM_WIN32 BOOL ResetEvent(HANDLE hEvent);
// Waits for any one of up to MAXIMUM_WAIT_OBJECTS events (bWaitAll TRUE gives
// ERROR_INVALID_PARAMETER) and returns the lowest index that is signalled. An event that is the
// hEvent of a pending transfer makes the wait watch that transfer too: the transfer completes
// here, on the waiting thread, as soon as it can.
ZELPLATFORM_WIN32 DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds);

// Named pipes "\\.\pipe\NAME" (case-insensitive, at most 256 characters): byte mode, one instance
// per name (nMaxInstances must be 1). The buffer sizes are a minimum for the underlying socket.
ZELPLATFORM_WIN32 HANDLE CreateNamedPipeA(LPCSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode,
                                          DWORD nMaxInstances, DWORD nOutBufferSize, DWORD nInBufferSize,
                                          DWORD nDefaultTimeOut, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
// Opens the client end of a named pipe; other file names give ERROR_INVALID_NAME.
ZELPLATFORM_WIN32 HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
ZELPLATFORM_WIN32 BOOL ConnectNamedPipe(HANDLE hNamedPipe, LPOVERLAPPED lpOverlapped);

// Transfers on pipe ends and standard handles. With an OVERLAPPED on a handle made with
// FILE_FLAG_OVERLAPPED (standard handles always are) they finish at once when they can, else
// return FALSE with ERROR_IO_PENDING; without one, or on a handle made without the flag, they
// block until done. A write to a reader that has gone fails with ERROR_BROKEN_PIPE, never a signal.
ZELPLATFORM_WIN32 BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
ZELPLATFORM_WIN32 BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
ZELPLATFORM_WIN32 BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                           LPDWORD lpNumberOfBytesTransferred, BOOL bWait);
// Cancels the transfers that the calling thread started on the handle (ERROR_OPERATION_ABORTED).
ZELPLATFORM_WIN32 BOOL CancelIo(HANDLE hFile);
// Closing a handle ends its pending transfers with ERROR_OPERATION_ABORTED and wakes any call that
// blocks on it; the handle value never names another object afterwards.
ZELPLATFORM_WIN32 BOOL CloseHandle(HANDLE hObject);

// What a pipe or standard handle leads to: FILE_TYPE_PIPE for a pipe end and for a standard handle
// over a pipe or a socket, FILE_TYPE_DISK over a regular file or a directory, FILE_TYPE_CHAR over a
// terminal or another character device. FILE_TYPE_UNKNOWN with ERROR_INVALID_HANDLE for an event
// or a closed handle, and with ERROR_SUCCESS for a descriptor of any other kind.
ZELPLATFORM_WIN32 DWORD GetFileType(HANDLE hFile);
// Moves the file pointer of a standard handle over a regular file (the descriptor's offset, which
// its transfers use); lpNewFilePointer may be NULL. A pipe or a device gives ERROR_INVALID_FUNCTION.
ZELPLATFORM_WIN32 BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                        PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod);

// NULL when the process has no such descriptor. The handle reads or writes sequentially whatever
// the descriptor is (pipe, socket, terminal, regular file); the end of the input is
// ERROR_BROKEN_PIPE. Closing it releases the descriptor's file but keeps its number taken.
ZELPLATFORM_WIN32 HANDLE GetStdHandle(DWORD nStdHandle);

// ftCreationTime is the file system's birth time where it records one, else the earlier of the
// last modification and the last status change. The A form takes the name's bytes as they are, so
// any name the file system holds; the W form takes the name as UTF-8.
ZELPLATFORM_WIN32 BOOL GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                            LPVOID lpFileInformation);
ZELPLATFORM_WIN32 BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                            LPVOID lpFileInformation);
ZELPLATFORM_WIN32 BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);

// A malloc'ed path in $TMPDIR when it names a directory, else in dir when it names one, else in
// /tmp: the prefix followed by a random suffix, naming no existing file. NULL (errno set) on failure.
ZELPLATFORM_WIN32 char* _tempnam(const char* dir, const char* prefix);

} // namespace Ostrel::Platform::Win32

using Ostrel::Platform::Win32::GetLastError;
using Ostrel::Platform::Win32::SetLastError;
using Ostrel::Platform::Win32::GetCurrentProcessId;
using Ostrel::Platform::Win32::CreateEventW;
using Ostrel::Platform::Win32::SetEvent;
using Ostrel::Platform::Win32::ResetEvent;
using Ostrel::Platform::Win32::WaitForMultipleObjects;
using Ostrel::Platform::Win32::CreateNamedPipeA;
using Ostrel::Platform::Win32::CreateFileA;
using Ostrel::Platform::Win32::ConnectNamedPipe;
using Ostrel::Platform::Win32::ReadFile;
using Ostrel::Platform::Win32::WriteFile;
using Ostrel::Platform::Win32::GetOverlappedResult;
using Ostrel::Platform::Win32::CancelIo;
using Ostrel::Platform::Win32::CloseHandle;
using Ostrel::Platform::Win32::GetStdHandle;
using Ostrel::Platform::Win32::GetFileType;
using Ostrel::Platform::Win32::SetFilePointerEx;
using Ostrel::Platform::Win32::GetFileAttributesExA;
using Ostrel::Platform::Win32::GetFileAttributesExW;
using Ostrel::Platform::Win32::FileTimeToSystemTime;
using Ostrel::Platform::Win32::_tempnam;
