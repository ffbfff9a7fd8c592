// A file's creation time as "YYYY-MM-DD hh:mm:ss", in UTC.
#include <Ostrel/Core/FileCreationDate.h>

#include "utilities/NativeCreationTime.h"

#include <boost/format.hpp>

namespace Ostrel::Core
{

std::string GetFileCreationDateString(const Ostrel::ioPath& path)
{
    FILETIME creation;
    if (!detail::GetNativeCreationTime(path, creation))
    {
        return {};
    }
    SYSTEMTIME time;
    if (!FileTimeToSystemTime(&creation, &time))
    {
        return {};
    }
    return (boost::format("%d-%02d-%02d %02d:%02d:%02d") % time.wYear % time.wMonth % time.wDay % time.wHour %
            time.wMinute % time.wSecond)
        .str();
}

} // namespace Ostrel::Core
