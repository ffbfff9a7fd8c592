// A file's creation time as "YYYY-MM-DD hh:mm:ss", in UTC.
#include <Ostrel/Core/FileCreationDate.h>

#include <Ostrel/Platform/Windows.h>

#include <boost/format.hpp>

namespace Ostrel::Core
{

std::string GetFileCreationDateString(const Ostrel::ioPath& path)
{
    const std::wstring wide = path.wstring();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
    {
        return {};
    }
    SYSTEMTIME time;
    if (!FileTimeToSystemTime(&data.ftCreationTime, &time))
    {
        return {};
    }
    return (boost::format("%d-%02d-%02d %02d:%02d:%02d") % time.wYear % time.wMonth % time.wDay % time.wHour %
            time.wMinute % time.wSecond)
        .str();
}

} // namespace Ostrel::Core
