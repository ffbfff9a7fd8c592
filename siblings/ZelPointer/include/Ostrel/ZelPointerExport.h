// Symbol visibility for the ZelPointer reference-counting library.
#pragma once

#if defined(_WIN32)
#if defined(ZELPOINTER_BUILDING)
#define ZELPOINTER_API __declspec(dllexport)
#else
#define ZELPOINTER_API __declspec(dllimport)
#endif
#else
#define ZELPOINTER_API __attribute__((visibility("default")))
#endif
