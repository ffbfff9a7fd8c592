// The calling thread's Win32 error code, and the helpers that report a failure through it.
#pragma once

#include <Ostrel/Platform/posix/Win32Api.h>

namespace Ostrel::Platform
{

// Sets the thread's error code and returns FALSE, for `return Fail(code);`.
BOOL Fail(DWORD code);
// Sets the thread's error code and returns INVALID_HANDLE_VALUE.
HANDLE FailHandle(DWORD code);
// The Win32 error code that matches an errno value.
DWORD ErrorFromErrno(int error);

} // namespace Ostrel::Platform
