// Non-blocking Unix stream socket operations with Win32 error codes.
#include "UnixSocket.h"

#include "FileDescriptor.h"
#include "LastError.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Ostrel::Platform
{

Attempt ReceiveFrom(int fd, char* buffer, DWORD size)
{
    if (size == 0)
    {
        // recv of 0 bytes cannot tell data from the end of the stream.
        return Attempt::Done(0);
    }
    for (;;)
    {
        const ssize_t got = ::recv(fd, buffer, size, MSG_DONTWAIT);
        if (got > 0)
        {
            return Attempt::Done(static_cast<DWORD>(got));
        }
        if (got == 0)
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

Attempt SendTo(int fd, const char* buffer, DWORD size)
{
    for (;;)
    {
        const ssize_t sent = ::send(fd, buffer, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0)
        {
            return Attempt::Done(static_cast<DWORD>(sent));
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

namespace
{

void EnsureBufferSize(int fd, int option, DWORD wanted)
{
    int current = 0;
    socklen_t length = sizeof current;
    if (::getsockopt(fd, SOL_SOCKET, option, &current, &length) != 0 || current < 0 ||
        static_cast<DWORD>(current) >= wanted)
    {
        return;
    }
    // The kernel doubles what it is given, to make room for its bookkeeping; what it reports
    // back is the doubled figure, which is at least the size asked for.
    const int value = wanted > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(wanted);
    ::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value);
}

} // namespace

void EnsureBufferSizes(int fd, DWORD sendSize, DWORD receiveSize)
{
    EnsureBufferSize(fd, SO_SNDBUF, sendSize);
    EnsureBufferSize(fd, SO_RCVBUF, receiveSize);
}

bool PeerIsSameUser(int fd)
{
    struct ucred credentials
    {
    };
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
    {
        return false;
    }
    return credentials.uid == ::geteuid();
}

bool PeerHasGone(int fd)
{
    // POLLHUP means both directions are shut: the peer closed, or it shut the one direction that
    // this end had left open.
    pollfd watch{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&watch, 1, 0) == 1 && (watch.revents & (POLLHUP | POLLERR)) != 0;
}

void ShutDownUnusedDirections(int fd, DWORD access)
{
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    if (reads && writes)
    {
        return;
    }
    ::shutdown(fd, reads ? SHUT_WR : writes ? SHUT_RD : SHUT_RDWR);
}

bool MakeAddress(const std::string& path, struct sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
    {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

SocketAnswer ProbeSocket(const std::string& path)
{
    sockaddr_un address{};
    if (!MakeAddress(path, address))
    {
        return SocketAnswer::Unknown;
    }
    const FileDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!probe.IsOpen())
    {
        return SocketAnswer::Unknown;
    }
    if (::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    {
        return SocketAnswer::Listener;
    }
    switch (errno)
    {
    case ECONNREFUSED:
    case ENOENT:
        return SocketAnswer::Nothing;
    case EAGAIN:
    case EINPROGRESS:
        // A listener whose queue of clients is full.
        return SocketAnswer::Listener;
    default:
        return SocketAnswer::Unknown;
    }
}

} // namespace Ostrel::Platform
