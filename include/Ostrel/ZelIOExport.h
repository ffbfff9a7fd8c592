// Symbol visibility for libzelio.
#pragma once

#if defined(_WIN32)
#if defined(ZELIO_BUILDING)
#define ZELIO_API __declspec(dllexport)
#else
#define ZELIO_API __declspec(dllimport)
#endif
#else
#define ZELIO_API __attribute__((visibility("default")))
#endif
