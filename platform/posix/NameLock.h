// NameLock: marks a pipe name as served by a live process. The server holds an open-file-description
// write lock on the whole of the name's lock file for as long as its handle is open; the kernel
// drops the lock when the process dies, so a name left behind by a dead server is free again at
// once. A server of another program marks its name the same way with any fcntl write lock over the
// whole file (F_SETLK or F_OFD_SETLK); flock locks are not seen.
//
// A server that sweeps the files of dead servers holds, while it removes them, a write lock on the
// file's second byte only. That lock tells a server taking the same name to wait a moment instead of
// reporting the name busy.
#pragma once

#include "FileDescriptor.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <string>
#include <sys/types.h>

namespace Ostrel::Platform
{

class NameLock
{
public:
    NameLock() = default;
    NameLock(const NameLock&) = delete;
    NameLock& operator=(const NameLock&) = delete;
    ~NameLock() { Release(); }

    // Takes the name: ERROR_SUCCESS, ERROR_PIPE_BUSY while another server holds it, or the error
    // of the file system.
    DWORD Acquire(const std::string& path);
    // Lets the name go and removes the lock file. In a child made by fork it closes the child's
    // copy of the descriptor only: the lock and its file stay with the process that took them.
    void Release();
    // True while a server holds the lock of this path.
    static bool IsHeld(const std::string& path);
    // The sweeper's lock on a lock file that no server holds, on the file the path still names;
    // a closed descriptor when a server holds it or the file has gone.
    static FileDescriptor LockForSweep(const std::string& path);

private:
    std::string m_path;
    FileDescriptor m_fd;
    pid_t m_owner = 0;
};

} // namespace Ostrel::Platform
