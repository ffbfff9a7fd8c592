// Symbol visibility for the ZelFilesystem path library.
#pragma once

#if defined(_WIN32)
#if defined(ZELFILESYSTEM_BUILDING)
#define ZELFILESYSTEM_API __declspec(dllexport)
#else
#define ZELFILESYSTEM_API __declspec(dllimport)
#endif
#else
#define ZELFILESYSTEM_API __attribute__((visibility("default")))
#endif
