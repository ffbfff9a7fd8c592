// Symbol visibility for the ZelHash digest library.
#pragma once

#if defined(_WIN32)
#if defined(ZELHASH_BUILDING)
#define ZELHASH_API __declspec(dllexport)
#else
#define ZELHASH_API __declspec(dllimport)
#endif
#else
#define ZELHASH_API __attribute__((visibility("default")))
#endif
