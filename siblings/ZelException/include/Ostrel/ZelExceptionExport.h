// Symbol visibility for the ZelException library.
#pragma once

#if defined(_WIN32)
#if defined(ZELEXCEPTION_BUILDING)
#define ZELEXCEPTION_API __declspec(dllexport)
#else
#define ZELEXCEPTION_API __declspec(dllimport)
#endif
#else
#define ZELEXCEPTION_API __attribute__((visibility("default")))
#endif
