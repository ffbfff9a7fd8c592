// PipeServer: listening, accepting the one client, and the codes Win32 gives a server end.
#include "PipeServer.h"

#include "DeadServerSweep.h"
#include "LastError.h"
#include "UnixSocket.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

// The socket file's owner bits tell clients what this end does: write permission (needed to
// connect) always, read when the server writes (clients may read), execute when the server
// reads (clients may write).
mode_t SocketMode(DWORD access)
{
    mode_t mode = S_IWUSR;
    if ((access & GENERIC_WRITE) != 0)
    {
        mode |= S_IRUSR;
    }
    if ((access & GENERIC_READ) != 0)
    {
        mode |= S_IXUSR;
    }
    return mode;
}

// Errors of accept that last until the process or the system frees some resource.
bool IsShortOfResources(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

bool IsReadable(int descriptor)
{
    pollfd watch{descriptor, POLLIN, 0};
    return ::poll(&watch, 1, 0) > 0 && (watch.revents & POLLIN) != 0;
}

} // namespace

std::shared_ptr<PipeServer> PipeServer::Create(const PipeName& name, DWORD access, bool overlapped,
                                               DWORD outBufferSize, DWORD inBufferSize)
{
    std::shared_ptr<PipeServer> server;
    try
    {
        server = std::make_shared<PipeServer>(access, overlapped, outBufferSize, inBufferSize);
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (const DWORD error = server->Listen(name))
    {
        // The destructor removes what Listen made.
        SetLastError(error);
        return nullptr;
    }
    return server;
}

PipeServer::PipeServer(DWORD access, bool overlapped, DWORD outBufferSize, DWORD inBufferSize)
    : Stream(access, overlapped), m_access(access), m_outBufferSize(outBufferSize),
      m_inBufferSize(inBufferSize)
{
}

PipeServer::~PipeServer()
{
    // Only a server that failed half-way through Create still has its socket file here.
    if (m_socketFileExists)
    {
        ::unlink(m_paths.socket.c_str());
    }
}

DWORD PipeServer::Listen(const PipeName& name)
{
    if (const DWORD error = PipeDirectory::Resolve(name, true, m_paths))
    {
        return error;
    }
    if (const DWORD error = m_lock.Acquire(m_paths.lock))
    {
        return error;
    }
    if (const DWORD error = ClaimSocketFile())
    {
        return error;
    }
    DeadServerSweep::Run(m_paths);
    return OpenListener();
}

DWORD PipeServer::OpenListener()
{
    sockaddr_un address{};
    if (!MakeAddress(m_paths.socket, address))
    {
        return ERROR_INVALID_NAME;
    }
    m_listener.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!m_listener.IsOpen())
    {
        return ErrorFromErrno(errno);
    }
    if (::bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        // Another program bound the name since we looked.
        return errno == EADDRINUSE ? ERROR_PIPE_BUSY : ErrorFromErrno(errno);
    }
    m_socketFileExists = true;
    m_listenerShut = false;
    // A backlog of 0 holds one client: the one instance. Later clients are refused.
    if (::chmod(m_paths.socket.c_str(), SocketMode(m_access)) != 0 || ::listen(m_listener.Get(), 0) != 0)
    {
        return ErrorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

// The client that was waiting went away, or was not one to take: listens afresh on the name, which
// this server still holds.
bool PipeServer::ListenAgain()
{
    m_listener.Reset();
    ::unlink(m_paths.socket.c_str());
    m_socketFileExists = false;
    return OpenListener() == ERROR_SUCCESS;
}

DWORD PipeServer::ClaimSocketFile()
{
    struct stat status
    {
    };
    if (::lstat(m_paths.socket.c_str(), &status) != 0)
    {
        return errno == ENOENT ? ERROR_SUCCESS : ErrorFromErrno(errno);
    }
    // The lock is ours, so no server of the library serves the name; but a program that holds no
    // lock may still listen on the socket, and then the name is taken.
    if (S_ISSOCK(status.st_mode) && ProbeSocket(m_paths.socket) != SocketAnswer::Nothing)
    {
        return ERROR_PIPE_BUSY;
    }
    ::unlink(m_paths.socket.c_str());
    return ERROR_SUCCESS;
}

bool PipeServer::AcceptClient()
{
    if (m_connected.load(std::memory_order_relaxed))
    {
        return true;
    }
    const Clock::time_point now = Clock::now();
    if (now < m_acceptPausedUntil)
    {
        return false;
    }
    if (!m_listenerShut)
    {
        if (!IsReadable(m_listener.Get()))
        {
            return false;
        }
        // A client waits. The listener is shut before the client is taken, so that one who
        // connects from now on is refused (clients report it as busy): the one instance never
        // goes to two clients. A client already queued is still handed out.
        ::shutdown(m_listener.Get(), SHUT_RDWR);
        m_listenerShut = true;
    }
    for (;;)
    {
        FileDescriptor client(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client.IsOpen() && errno == EINTR)
        {
            continue;
        }
        if (!client.IsOpen() && IsShortOfResources(errno))
        {
            // The client stays queued; polling the listener now would only find it again.
            PauseAccepting(now);
            return false;
        }
        // The client went away before it was taken, or another user got past the directory's
        // permissions: the instance stays free for the next one.
        if (!client.IsOpen() || !PeerIsSameUser(client.Get()))
        {
            if (!ListenAgain())
            {
                PauseAccepting(now);
            }
            return false;
        }
        EnsureBufferSizes(client.Get(), m_outBufferSize, m_inBufferSize);
        ShutDownUnusedDirections(client.Get(), m_access);
        m_connection = std::move(client);
        m_acceptPause = kFirstPause;
        m_connected.store(true, std::memory_order_release);
        return true;
    }
}

void PipeServer::PauseAccepting(Clock::time_point now)
{
    m_acceptPausedUntil = now + m_acceptPause;
    m_acceptPause = std::min(m_acceptPause * 2, kLongestPause);
}

DWORD PipeServer::TakePeer()
{
    return AcceptClient() ? ERROR_SUCCESS : ERROR_PIPE_LISTENING;
}

DWORD PipeServer::ConnectRefusal()
{
    // A client that came before the connect, or has even gone again.
    if (!AcceptClient())
    {
        return ERROR_SUCCESS;
    }
    return PeerHasGone(m_connection.Get()) ? ERROR_NO_DATA : ERROR_PIPE_CONNECTED;
}

Attempt PipeServer::TryTransfer(TransferKind kind, char* buffer, DWORD size)
{
    switch (kind)
    {
    case TransferKind::Connect:
        return AcceptClient() ? Attempt::Done(0) : Attempt::Blocked();
    case TransferKind::Read:
        return ReceiveFrom(m_connection.Get(), buffer, size);
    case TransferKind::Write:
        return SendTo(m_connection.Get(), buffer, size);
    }
    return Attempt::Failed(ERROR_INVALID_FUNCTION);
}

Watch PipeServer::WatchFor(TransferKind kind) const
{
    if (kind == TransferKind::Connect)
    {
        if (m_connected.load(std::memory_order_relaxed))
        {
            // Settled on the next look, which the caller makes at once.
            return Watch::RetryAt(Clock::time_point::min());
        }
        const Clock::time_point now = Clock::now();
        if (now < m_acceptPausedUntil)
        {
            return Watch::RetryAt(m_acceptPausedUntil);
        }
        if (!m_listener.IsOpen())
        {
            // Listening again failed for want of resources: try again after a while.
            return Watch::RetryAt(now + kLongestPause);
        }
        return Watch::Descriptor(m_listener.Get(), POLLIN);
    }
    return Watch::Descriptor(m_connection.Get(), kind == TransferKind::Write ? POLLOUT : POLLIN);
}

void PipeServer::CloseEnd(bool owner)
{
    if (owner)
    {
        if (m_connection.IsOpen())
        {
            ::shutdown(m_connection.Get(), SHUT_RDWR);
        }
        if (m_listener.IsOpen())
        {
            ::shutdown(m_listener.Get(), SHUT_RDWR);
        }
        if (m_socketFileExists)
        {
            ::unlink(m_paths.socket.c_str());
        }
    }
    m_socketFileExists = false;
    m_lock.Release();
    m_connection.Reset();
    m_listener.Reset();
}

} // namespace Ostrel::Platform
