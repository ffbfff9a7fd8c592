// The file streams' runtime calls on POSIX: fopen on the native bytes, fseeko and ftello.
#include "streams/NativeFile.h"

#include <cerrno>
#include <limits>
#include <sys/types.h>

namespace Ostrel::Core::detail
{

std::FILE* OpenNativeFile(const ioPath& path, FileMode mode)
{
    return std::fopen(path.native_path().c_str(), mode == FileMode::ReadBinary ? "rb" : "wb");
}

int SeekFromStart(std::FILE* file, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()))
    {
        errno = EOVERFLOW;
        return -1;
    }
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
}

int SeekToEnd(std::FILE* file)
{
    return fseeko(file, 0, SEEK_END);
}

uint64_t TellPosition(std::FILE* file)
{
    return static_cast<uint64_t>(ftello(file));
}

} // namespace Ostrel::Core::detail
