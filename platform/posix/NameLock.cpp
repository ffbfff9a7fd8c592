// NameLock: OFD write locks on per-name lock files, removed by their holder.
#include "NameLock.h"

#include "LastError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

struct flock WholeFile(short type)
{
    struct flock lock
    {
    };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

// The lock file may have been removed and made anew between our open and our lock: the lock
// only counts when it is on the file that the path names now.
bool StillNamedBy(int fd, const std::string& path)
{
    struct stat opened
    {
    };
    struct stat named
    {
    };
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

} // namespace

DWORD NameLock::Acquire(const std::string& path)
{
    Release();
    for (;;)
    {
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.IsOpen())
        {
            return ErrorFromErrno(errno);
        }
        struct flock lock = WholeFile(F_WRLCK);
        if (::fcntl(fd.Get(), F_OFD_SETLK, &lock) != 0)
        {
            return errno == EAGAIN || errno == EACCES ? ERROR_PIPE_BUSY : ErrorFromErrno(errno);
        }
        if (StillNamedBy(fd.Get(), path))
        {
            m_path = path;
            m_fd = std::move(fd);
            return ERROR_SUCCESS;
        }
    }
}

void NameLock::Release()
{
    if (!m_fd.IsOpen())
    {
        return;
    }
    // Removed while still held, so that a process waiting for it sees a stale file and retries.
    ::unlink(m_path.c_str());
    m_fd.Reset();
    m_path.clear();
}

bool NameLock::IsHeld(const std::string& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.IsOpen())
    {
        return false;
    }
    struct flock lock = WholeFile(F_WRLCK);
    return ::fcntl(fd.Get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

} // namespace Ostrel::Platform
