// The file streams' runtime calls on POSIX: fopen on the native bytes with close-on-exec, so that
// no child the application starts inherits the file, and fseeko and ftello for 64-bit offsets.
#include "streams/NativeFile.h"

#include <cerrno>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>

namespace Ostrel::Core::detail
{
namespace
{

bool IsDirectory(std::FILE* file)
{
    struct stat status
    {
    };
    return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

std::FILE* OpenNativeFile(const ioPath& path, FileMode mode)
{
    // "e": the descriptor is opened with O_CLOEXEC.
    std::FILE* file = std::fopen(path.native().c_str(), mode == FileMode::ReadBinary ? "rbe" : "wbe");
    // A directory opens for reading here, but it holds nothing a file stream can read.
    if (file != nullptr && IsDirectory(file))
    {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
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
