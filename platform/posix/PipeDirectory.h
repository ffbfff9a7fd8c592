// PipeDirectory: where the sockets of named pipes live. The directory is
// <base>/zelio-pipes-<uid>, where <base> is $XDG_RUNTIME_DIR when it names a directory, else $TMPDIR
// when it names one, else /tmp. It must be a real directory owned by this user with no access for
// anyone else; the lock files that mark live servers are in its sub-directory ".lock".
#pragma once

#include "PipeName.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <string>

namespace Ostrel::Platform
{

struct PipePaths
{
    std::string directory;
    std::string lockDirectory;
    std::string fileName;
    std::string socket;
    std::string lock;
};

class PipeDirectory
{
public:
    // The paths of the named pipe; `create` makes the directories when they are missing.
    // Returns ERROR_SUCCESS, or the Win32 error: ERROR_FILE_NOT_FOUND (no directory yet),
    // ERROR_ACCESS_DENIED (a directory that is not private), ERROR_INVALID_NAME (no socket address
    // can hold the path).
    static DWORD Resolve(const PipeName& name, bool create, PipePaths& paths);

private:
    static std::string Base();
    static DWORD CheckPrivate(const std::string& directory);
};

} // namespace Ostrel::Platform
