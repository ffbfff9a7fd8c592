// StdStream: choosing how to reach a standard descriptor without blocking, and releasing it.
#include "StdStream.h"

#include "LastError.h"
#include "SigpipeGuard.h"
#include "UnixSocket.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::Platform
{

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
        std::optional<SigpipeGuard> guard;
        if (m_isPipe)
        {
            guard.emplace();
        }
        const ssize_t written = ::write(IoFd(), buffer, size);
        if (written >= 0)
        {
            return Attempt::Done(static_cast<DWORD>(written));
        }
        if (errno == EPIPE)
        {
            if (guard)
            {
                guard->WriteRaisedSigpipe();
            }
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
