// A file's creation time on POSIX: the platform's attributes of the path's native bytes, so that a
// name that is not UTF-8 is examined as the file streams open it.
#include "utilities/NativeCreationTime.h"

namespace Ostrel::Core::detail
{

bool GetNativeCreationTime(const ioPath& path, FILETIME& creation)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (path.empty() || !GetFileAttributesExA(path.native().c_str(), GetFileExInfoStandard, &attributes))
    {
        return false;
    }
    creation = attributes.ftCreationTime;
    return true;
}

} // namespace Ostrel::Core::detail
