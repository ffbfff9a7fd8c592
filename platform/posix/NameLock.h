// NameLock: marks a pipe name as served by a live process. The server holds an open-file-description
// lock on the name's lock file for as long as its handle is open; the kernel drops the lock when
// the process dies, so a name left behind by a dead server is free again at once.
#pragma once

#include "FileDescriptor.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <string>

namespace Ostrel::Platform
{

class NameLock
{
public:
    NameLock() = default;
    NameLock(NameLock&&) = default;
    NameLock& operator=(NameLock&&) = default;
    ~NameLock() { Release(); }

    // Takes the name: ERROR_SUCCESS, ERROR_PIPE_BUSY while another server holds it, or the error
    // of the file system.
    DWORD Acquire(const std::string& path);
    // Removes the lock file and lets the name go.
    void Release();
    // True while some process holds the lock of this path.
    static bool IsHeld(const std::string& path);

private:
    std::string m_path;
    FileDescriptor m_fd;
};

} // namespace Ostrel::Platform
