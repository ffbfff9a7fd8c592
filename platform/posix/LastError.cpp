// GetLastError / SetLastError: one error code per thread, and the errno translation; and the
// process's id.
#include "LastError.h"

#include <cerrno>
#include <unistd.h>

namespace
{
// Initial-exec: every call of the layer sets or reads it, and this way it costs no call.
__attribute__((tls_model("initial-exec"))) thread_local DWORD t_lastError = ERROR_SUCCESS;
} // namespace

DWORD Ostrel::Platform::Win32::GetCurrentProcessId(void)
{
    return static_cast<DWORD>(::getpid());
}

DWORD Ostrel::Platform::Win32::GetLastError(void)
{
    return t_lastError;
}

void Ostrel::Platform::Win32::SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}

namespace Ostrel::Platform
{

BOOL Fail(DWORD code)
{
    t_lastError = code;
    return FALSE;
}

HANDLE FailHandle(DWORD code)
{
    t_lastError = code;
    return INVALID_HANDLE_VALUE;
}

DWORD ErrorFromErrno(int error)
{
    switch (error)
    {
    case ENOENT:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
    case ENOBUFS:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
        return ERROR_BROKEN_PIPE;
    case ENAMETOOLONG:
        return ERROR_INVALID_NAME;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace Ostrel::Platform
