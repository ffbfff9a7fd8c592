// StdStream: choosing how to reach a standard descriptor without blocking, and releasing it.
#include "StdStream.h"

#include "LastError.h"
#include "SigpipeGuard.h"
#include "UnixSocket.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

// pwritev2's RWF_NOSIGNAL (Linux 6.18): a write to a pipe whose reader has gone fails with EPIPE
// and raises no SIGPIPE. Kernels that do not know the flag refuse it with EOPNOTSUPP.
constexpr int kWriteWithoutSignal = 0x00000100;
std::atomic<bool> g_pipesTakeWritesWithoutSignal{true};

} // namespace

std::shared_ptr<StdStream> StdStream::Open(int stdFd)
{
    std::shared_ptr<StdStream> stream;
    try
    {
        stream = std::make_shared<StdStream>(stdFd, stdFd == STDIN_FILENO ? GENERIC_READ : GENERIC_WRITE);
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    stream->ChooseMedium();
    return stream;
}

StdStream::StdStream(int stdFd, DWORD access) : Stream(access, true), m_stdFd(stdFd), m_access(access) {}

void StdStream::ChooseMedium()
{
    struct stat status
    {
    };
    if (::fstat(m_stdFd, &status) != 0)
    {
        return;
    }
    if (S_ISSOCK(status.st_mode))
    {
        m_medium = Medium::Socket;
        return;
    }
    if (S_ISREG(status.st_mode))
    {
        m_medium = Medium::File;
        return;
    }
    m_isPipe = S_ISFIFO(status.st_mode);
    if (!m_isPipe && !S_ISCHR(status.st_mode))
    {
        return;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(m_stdFd);
    const int direction = (m_access & GENERIC_READ) != 0 ? O_RDONLY : O_WRONLY;
    m_private.Reset(::open(path.c_str(), direction | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (m_private.IsOpen())
    {
        m_medium = Medium::Private;
    }
}

DWORD StdStream::FileType() const
{
    struct stat status
    {
    };
    if (::fstat(m_stdFd, &status) != 0)
    {
        SetLastError(ErrorFromErrno(errno));
        return FILE_TYPE_UNKNOWN;
    }
    if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
    {
        return FILE_TYPE_DISK;
    }
    if (S_ISCHR(status.st_mode))
    {
        return FILE_TYPE_CHAR;
    }
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
    {
        return FILE_TYPE_PIPE;
    }
    SetLastError(ERROR_SUCCESS);
    return FILE_TYPE_UNKNOWN;
}

BOOL StdStream::MovePointer(int64_t distance, DWORD method, int64_t* position)
{
    if (m_medium != Medium::File)
    {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    int whence = SEEK_SET;
    switch (method)
    {
    case FILE_BEGIN:
        whence = SEEK_SET;
        break;
    case FILE_CURRENT:
        whence = SEEK_CUR;
        break;
    case FILE_END:
        whence = SEEK_END;
        break;
    default:
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const off_t moved = ::lseek(m_stdFd, static_cast<off_t>(distance), whence);
    if (moved < 0)
    {
        return Fail(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
    }
    if (position != nullptr)
    {
        *position = moved;
    }
    return TRUE;
}

int StdStream::IoFd() const noexcept
{
    return m_medium == Medium::Private ? m_private.Get() : m_stdFd;
}

bool StdStream::IsReady(short events) const
{
    pollfd watch{IoFd(), events, 0};
    return ::poll(&watch, 1, 0) == 1;
}

Attempt StdStream::TryTransfer(TransferKind kind, char* buffer, DWORD size)
{
    if (kind == TransferKind::Read)
    {
        return m_medium == Medium::Socket ? ReceiveFrom(m_stdFd, buffer, size) : ReadSome(buffer, size);
    }
    return m_medium == Medium::Socket ? SendTo(m_stdFd, buffer, size) : WriteSome(buffer, size);
}

Attempt StdStream::ReadSome(char* buffer, DWORD size)
{
    if (size == 0)
    {
        return Attempt::Done(0);
    }
    if (m_medium == Medium::Shared && !IsReady(POLLIN))
    {
        return Attempt::Blocked();
    }
    for (;;)
    {
        const ssize_t got = ::read(IoFd(), buffer, size);
        if (got > 0)
        {
            return Attempt::Done(static_cast<DWORD>(got));
        }
        // The end of the input, whatever it is, and a terminal that hung up, end the stream.
        if (got == 0 || errno == EIO)
        {
            return Attempt::Failed(ERROR_BROKEN_PIPE);
        }
        if (errno == EINTR)
        {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
        {
            return Attempt::Blocked();
        }
        return Attempt::Failed(ErrorFromErrno(errno));
    }
}

Attempt StdStream::WriteSome(const char* buffer, DWORD size)
{
    if (m_medium == Medium::Shared && !IsReady(POLLOUT))
    {
        return Attempt::Blocked();
    }
    for (;;)
    {
        const ssize_t written = m_isPipe ? WriteToPipe(buffer, size) : ::write(IoFd(), buffer, size);
        if (written >= 0)
        {
            return Attempt::Done(static_cast<DWORD>(written));
        }
        switch (errno)
        {
        case EINTR:
            continue;
        case EPIPE:
            return Attempt::Failed(ERROR_BROKEN_PIPE);
        case EAGAIN:
            return Attempt::Blocked();
        default:
            return Attempt::Failed(ErrorFromErrno(errno));
        }
    }
}

// A write to a pipe whose reader has gone raises SIGPIPE unless the kernel is told not to, which
// costs nothing where it can be told; a kernel that cannot (before Linux 6.18) has the signal
// blocked around the write instead.
ssize_t StdStream::WriteToPipe(const char* buffer, DWORD size)
{
    if (g_pipesTakeWritesWithoutSignal.load(std::memory_order_relaxed))
    {
        iovec part{const_cast<char*>(buffer), size};
        const ssize_t written = ::pwritev2(IoFd(), &part, 1, -1, kWriteWithoutSignal);
        if (written >= 0 || errno != EOPNOTSUPP)
        {
            return written;
        }
        g_pipesTakeWritesWithoutSignal.store(false, std::memory_order_relaxed);
    }
    ssize_t written = 0;
    int error = 0;
    {
        SigpipeGuard guard;
        written = ::write(IoFd(), buffer, size);
        error = errno;
        if (written < 0 && error == EPIPE)
        {
            guard.WriteRaisedSigpipe();
        }
    }
    errno = error;
    return written;
}

Watch StdStream::WatchFor(TransferKind kind) const
{
    return Watch::Descriptor(IoFd(), kind == TransferKind::Write ? POLLOUT : POLLIN);
}

// The standard descriptor is this process's own in a child made by fork as well: both release it.
void StdStream::CloseEnd(bool)
{
    m_private.Reset();
    FileDescriptor null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null.IsOpen())
    {
        // Without /dev/null the descriptor cannot be released without freeing its number.
        return;
    }
    ::dup2(null.Get(), m_stdFd);
}

} // namespace Ostrel::Platform
