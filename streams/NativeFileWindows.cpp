// The file streams' runtime calls on Windows: _wfopen on the wide path, with the handle kept from
// the processes the application starts ("N"), and _fseeki64 and _ftelli64 for 64-bit offsets.
#include "streams/NativeFile.h"

#include <cerrno>
#include <cstdint>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>

namespace Ostrel::Core::detail
{
namespace
{

bool IsDirectory(std::FILE* file)
{
    struct _stat64 status
    {
    };
    return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFDIR) != 0;
}

} // namespace

std::FILE* OpenNativeFile(const ioPath& path, FileMode mode)
{
    std::FILE* file = _wfopen(path.native().c_str(), mode == FileMode::ReadBinary ? L"rbN" : L"wbN");
    // Windows refuses a directory (EACCES); should a file system let one open, it still holds
    // nothing a file stream can read.
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
    if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
    {
        errno = EOVERFLOW;
        return -1;
    }
    return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET);
}

int SeekToEnd(std::FILE* file)
{
    return _fseeki64(file, 0, SEEK_END);
}

uint64_t TellPosition(std::FILE* file)
{
    return static_cast<uint64_t>(_ftelli64(file));
}

} // namespace Ostrel::Core::detail
