// PipeListing: the named pipes of the current user that are live now, as the system shows them,
// found without connecting to any of them (so a server's one client is never taken). Pipe names
// are told from their files: letters come back small, since names ignore case, and a name too long
// for a file of its own is known only by its hash.
#pragma once

#include <Ostrel/ZelIOExport.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel::Core
{

struct PipeInfo
{
    // "\\.\pipe\" followed by the name, in small letters; empty when the name is hashed.
    std::string name;
    // The name of the pipe's file: the name itself with its other bytes written as %XX, or, for a
    // hashed name, '~' and 16 hexadecimal digits. On Windows, the name as the system lists it, in
    // small letters; there, the directions and the age are not told and stay false and 0, and the
    // pipes of every user are listed.
    std::string fileName;
    bool hashed = false;
    // False for the files of a server that died without closing (listed only on request).
    bool live = false;
    // The directions the server end offers: it reads what clients write, it writes what they read.
    bool serverReads = false;
    bool serverWrites = false;
    // The server's process id, 0 when the system does not tell it.
    std::int64_t serverProcessId = 0;
    // How long the pipe's files have been there.
    std::uint64_t ageSeconds = 0;
};

// The live pipes, sorted by file name; with includeDead, also the names whose server died without
// closing. Empty when no pipe was ever made. Throws IOException, with the system's code, when the
// pipes' directory cannot be read or is open to other users.
ZELIO_API std::vector<PipeInfo> ListPipes(bool includeDead = false);

} // namespace Ostrel::Core
