// PipeListing: the named pipes whose files are in this user's pipe directory, as the directory
// shows them, without connecting to any of them (a connection would take a server's one client
// slot). A name is live while a server holds its lock, or while something listens on its socket;
// the other names are files that servers which died before closing left behind.
#pragma once

#include <Ostrel/Platform/ZelPlatformExport.h>
#include <Ostrel/Platform/posix/Win32Api.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel::Platform
{

struct PipeEntry
{
    // The socket file's name in the pipe directory.
    std::string fileName;
    // "\\.\pipe\" and the name the file name spells (its letters small); empty for a hashed name.
    std::string pipeName;
    bool live = false;
    bool hasSocket = false;
    // From the socket file's owner bits: the server reads (clients may write), the server writes.
    bool serverReads = false;
    bool serverWrites = false;
    // The server's process id, 0 when the system does not tell it.
    std::int64_t serverProcessId = 0;
    // When the name's files were made, in seconds since 1970-01-01 UTC.
    std::int64_t createdAt = 0;
};

// ERROR_SUCCESS with the entries sorted by file name (none when the directory does not exist yet),
// or ERROR_ACCESS_DENIED when the directory is not private to this user, or another Win32 error.
ZELPLATFORM_API DWORD ListPipeEntries(bool includeDead, std::vector<PipeEntry>& entries);

} // namespace Ostrel::Platform
