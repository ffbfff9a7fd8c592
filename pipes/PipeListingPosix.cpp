// ListPipes on POSIX: the layer's listing of the pipe directory, in the library's terms.
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/PipeListing.h>

#include "errors/Throw.h"
#include "platform/posix/PipeListing.h"

#include <ctime>

namespace Ostrel::Core
{

namespace
{

PipeInfo ToPipeInfo(const Platform::PipeEntry& entry, std::int64_t now)
{
    PipeInfo info;
    info.name = entry.pipeName;
    info.fileName = entry.fileName;
    info.hashed = entry.pipeName.empty();
    info.live = entry.live;
    info.serverReads = entry.serverReads;
    info.serverWrites = entry.serverWrites;
    info.serverProcessId = entry.serverProcessId;
    // A clock set back makes files look younger than nothing: they are then 0 seconds old.
    info.ageSeconds = now > entry.createdAt ? static_cast<std::uint64_t>(now - entry.createdAt) : 0;
    return info;
}

} // namespace

std::vector<PipeInfo> ListPipes(bool includeDead)
{
    std::vector<Platform::PipeEntry> entries;
    if (const DWORD error = Platform::ListPipeEntries(includeDead, entries))
    {
        ZELIO_THROW_WITH_STACK(IOException()
                               << ErrorDescription(error == ERROR_ACCESS_DENIED
                                                       ? "The pipe directory is open to other users"
                                                       : "Cannot list the pipe directory")
                               << ErrorSystemCode(error));
    }
    const std::int64_t now = std::time(nullptr);
    std::vector<PipeInfo> pipes;
    pipes.reserve(entries.size());
    for (const Platform::PipeEntry& entry : entries)
    {
        pipes.push_back(ToPipeInfo(entry, now));
    }
    return pipes;
}

} // namespace Ostrel::Core
