// The one header that library code includes wherever it calls Win32: the system's own on Windows,
// the POSIX implementation of the same subset elsewhere.
#pragma once

#if defined(_WIN32)
// Only the kernel's part of the system's headers: no min and max macros to break std::min, and no
// wingdi.h, whose ERROR macro glog's headers refuse to build with.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOGDI
#define NOGDI
#endif
#include <windows.h>
#else
#include <Ostrel/Platform/posix/Win32Api.h>
#endif
