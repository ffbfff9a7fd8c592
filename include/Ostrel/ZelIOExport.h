// Symbol visibility for libzelio, and the language level its headers need.
#pragma once

#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 201703L
#error "ZelIO's headers need C++17 or later (for example -std=c++17 or /std:c++17)."
#endif

#if defined(_WIN32)
#if defined(ZELIO_BUILDING)
#define ZELIO_API __declspec(dllexport)
#else
#define ZELIO_API __declspec(dllimport)
#endif
#else
#define ZELIO_API __attribute__((visibility("default")))
#endif

// An inline member function that the library also exports. On Windows the class's own dllexport
// already exports its inline members, and a consumer's dllimport must not be put on an inline
// function; elsewhere inline functions are hidden unless marked.
#if defined(_WIN32)
#define ZELIO_INLINE_API
#else
#define ZELIO_INLINE_API ZELIO_API
#endif
