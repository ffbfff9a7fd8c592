// A file's creation time on Windows: the file system's own, through the path's wide form.
#include "utilities/NativeCreationTime.h"

namespace Ostrel::Core::detail
{

bool GetNativeCreationTime(const ioPath& path, FILETIME& creation)
{
    if (path.empty())
    {
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(path.native().c_str(), GetFileExInfoStandard, &attributes))
    {
        return false;
    }
    creation = attributes.ftCreationTime;
    return true;
}

} // namespace Ostrel::Core::detail
