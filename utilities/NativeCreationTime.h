// A file's creation time, found through the path's native form so that any name the file system
// holds can be examined, as the file streams open any such name.
#pragma once

#include <Ostrel/Platform/Windows.h>
#include <Ostrel/ioPath.h>

namespace Ostrel::Core::detail
{

// False when the path cannot be examined (for example, it does not exist).
bool GetNativeCreationTime(const ioPath& path, FILETIME& creation);

} // namespace Ostrel::Core::detail
