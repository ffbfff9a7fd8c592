// The creation time of a file or directory as text.
#pragma once

#include <Ostrel/ZelIOExport.h>
#include <Ostrel/ioPath.h>

#include <string>

namespace Ostrel::Core
{

// "YYYY-MM-DD hh:mm:ss" in UTC, or "" when the path cannot be examined.
ZELIO_API std::string GetFileCreationDateString(const Ostrel::ioPath& path);

} // namespace Ostrel::Core
