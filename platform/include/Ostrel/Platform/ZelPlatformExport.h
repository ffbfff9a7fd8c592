// Symbol visibility for the Win32 layer library (libzelplatform).
#pragma once

#if defined(_WIN32)
#if defined(ZELPLATFORM_BUILDING)
#define ZELPLATFORM_API __declspec(dllexport)
#else
#define ZELPLATFORM_API __declspec(dllimport)
#endif
#else
#define ZELPLATFORM_API __attribute__((visibility("default")))
#endif
