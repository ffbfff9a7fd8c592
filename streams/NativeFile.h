// The runtime-library file calls of the file streams, with 64-bit offsets, opened through the
// path's native form so that any name the file system holds can be opened. Files are opened so
// that child processes do not inherit them.
#pragma once

#include <Ostrel/ioPath.h>

#include <cstdint>
#include <cstdio>

namespace Ostrel::Core::detail
{

enum class FileMode
{
    ReadBinary,  // "rb"
    WriteBinary, // "wb": creates the file or empties it
};

// Null on failure, with errno set; a directory is refused (EISDIR) in either mode.
std::FILE* OpenNativeFile(const ioPath& path, FileMode mode);
// fseek to an offset from the start; 0 on success, nonzero with errno set (also for offsets the
// runtime cannot represent).
int SeekFromStart(std::FILE* file, uint64_t offset);
int SeekToEnd(std::FILE* file);
// The current offset, or the all-ones value when the runtime cannot tell it.
uint64_t TellPosition(std::FILE* file);

} // namespace Ostrel::Core::detail
