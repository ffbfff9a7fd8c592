// The one header that library code includes wherever it calls Win32: the system's own on Windows,
// the POSIX implementation of the same subset elsewhere.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <Ostrel/Platform/posix/Win32Api.h>
#endif
