// PipeServer: listening, accepting the one client, and the codes Win32 gives a server end.
#include "PipeServer.h"

#include "LastError.h"
#include "UnixSocket.h"

#include <cerrno>
#include <new>
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
    if (!server->IsUsable())
    {
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
    // The name is ours: a socket file still there was left by a server that died.
    ::unlink(m_paths.socket.c_str());
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
        return ErrorFromErrno(errno);
    }
    m_socketFileExists = true;
    // A backlog of 0 holds one client: the one instance. Later clients are refused.
    if (::chmod(m_paths.socket.c_str(), SocketMode(m_access)) != 0 || ::listen(m_listener.Get(), 0) != 0)
    {
        return ErrorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

bool PipeServer::AcceptClient()
{
    while (!IsConnected())
    {
        FileDescriptor client(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client.IsOpen())
        {
            if (errno == EINTR || errno == ECONNABORTED)
            {
                continue;
            }
            return false;
        }
        // Another user got past the directory's permissions: drop it, the instance stays free.
        if (!PeerIsSameUser(client.Get()))
        {
            continue;
        }
        EnsureBufferSizes(client.Get(), m_outBufferSize, m_inBufferSize);
        ShutDownUnusedDirections(client.Get(), m_access);
        m_connection = std::move(client);
        // The one instance is taken: connecting now fails, which clients report as busy.
        ::shutdown(m_listener.Get(), SHUT_RDWR);
    }
    return true;
}

DWORD PipeServer::Refusal(TransferKind kind)
{
    if (kind == TransferKind::Connect)
    {
        // A client that came before the connect, or has even gone again.
        if (AcceptClient())
        {
            return PeerHasGone(m_connection.Get()) ? ERROR_NO_DATA : ERROR_PIPE_CONNECTED;
        }
        return ERROR_SUCCESS;
    }
    return AcceptClient() ? ERROR_SUCCESS : ERROR_PIPE_LISTENING;
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

pollfd PipeServer::WatchFor(TransferKind kind) const
{
    if (!IsConnected())
    {
        return pollfd{m_listener.Get(), POLLIN, 0};
    }
    return pollfd{m_connection.Get(), static_cast<short>(kind == TransferKind::Write ? POLLOUT : POLLIN), 0};
}

void PipeServer::CloseEnd()
{
    if (IsConnected())
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
        m_socketFileExists = false;
    }
    m_lock.Release();
}

} // namespace Ostrel::Platform
