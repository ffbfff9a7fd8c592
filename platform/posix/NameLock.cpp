// NameLock: OFD write locks on per-name lock files, removed by their holder.
#include "NameLock.h"

#include "LastError.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

// A sweeper holds a lock for a few system calls; a server taking the name waits for it at most
// this many times this long.
constexpr int kSweepWaits = 10000;
constexpr long kSweepWaitNanoseconds = 100000;

struct flock Range(short type, off_t start, off_t length)
{
    struct flock lock
    {
    };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

struct flock WholeFile(short type)
{
    return Range(type, 0, 0);
}

struct flock SweepByte()
{
    return Range(F_WRLCK, 1, 1);
}

bool IsSweepLock(const struct flock& lock)
{
    return lock.l_type == F_WRLCK && lock.l_start == 1 && lock.l_len == 1;
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

// True when what keeps the whole-file lock from us is a sweeper's lock, or nothing any more.
bool OnlyASweeperHoldsIt(int fd)
{
    struct flock lock = WholeFile(F_WRLCK);
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && (lock.l_type == F_UNLCK || IsSweepLock(lock));
}

void WaitForSweeper()
{
    const timespec pause{0, kSweepWaitNanoseconds};
    ::nanosleep(&pause, nullptr);
}

} // namespace

DWORD NameLock::Acquire(const std::string& path)
{
    Release();
    for (int sweepWaits = 0;;)
    {
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.IsOpen())
        {
            return ErrorFromErrno(errno);
        }
        struct flock lock = WholeFile(F_WRLCK);
        if (::fcntl(fd.Get(), F_OFD_SETLK, &lock) != 0)
        {
            if (errno != EAGAIN && errno != EACCES)
            {
                return ErrorFromErrno(errno);
            }
            if (sweepWaits++ < kSweepWaits && OnlyASweeperHoldsIt(fd.Get()))
            {
                WaitForSweeper();
                continue;
            }
            return ERROR_PIPE_BUSY;
        }
        if (StillNamedBy(fd.Get(), path))
        {
            m_path = path;
            m_fd = std::move(fd);
            m_owner = ::getpid();
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
    if (::getpid() == m_owner)
    {
        ::unlink(m_path.c_str());
    }
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
    return ::fcntl(fd.Get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK && !IsSweepLock(lock);
}

FileDescriptor NameLock::LockForSweep(const std::string& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.IsOpen())
    {
        return FileDescriptor();
    }
    // The byte conflicts with every whole-file lock: taking it proves that no server holds the name.
    struct flock lock = SweepByte();
    if (::fcntl(fd.Get(), F_OFD_SETLK, &lock) != 0 || !StillNamedBy(fd.Get(), path))
    {
        return FileDescriptor();
    }
    return fd;
}

} // namespace Ostrel::Platform
