// PipeClient: connecting to a server's socket, with the answers Win32 gives a client.
#include "PipeClient.h"

#include "LastError.h"
#include "NameLock.h"
#include "PipeDirectory.h"
#include "UnixSocket.h"

#include <cerrno>
#include <new>
#include <sys/socket.h>
#include <sys/stat.h>

namespace Ostrel::Platform
{

namespace
{

// What the server end allows, read from its socket file's owner bits (see PipeServer).
DWORD CheckAccess(const std::string& socketPath, DWORD access)
{
    struct stat status
    {
    };
    if (::stat(socketPath.c_str(), &status) != 0)
    {
        return ErrorFromErrno(errno);
    }
    if (!S_ISSOCK(status.st_mode))
    {
        return ERROR_FILE_NOT_FOUND;
    }
    const bool mayRead = (status.st_mode & S_IRUSR) != 0;
    const bool mayWrite = (status.st_mode & S_IXUSR) != 0;
    if (((access & GENERIC_READ) != 0 && !mayRead) || ((access & GENERIC_WRITE) != 0 && !mayWrite))
    {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

} // namespace

std::shared_ptr<PipeClient> PipeClient::Open(const PipeName& name, DWORD access, bool overlapped)
{
    std::shared_ptr<PipeClient> client;
    try
    {
        client = std::make_shared<PipeClient>(access, overlapped);
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (const DWORD error = client->ConnectTo(name, access))
    {
        SetLastError(error);
        return nullptr;
    }
    return client;
}

PipeClient::PipeClient(DWORD access, bool overlapped) : Stream(access, overlapped) {}

DWORD PipeClient::ConnectTo(const PipeName& name, DWORD access)
{
    PipePaths paths;
    if (const DWORD error = PipeDirectory::Resolve(name, false, paths))
    {
        return error;
    }
    if (const DWORD error = CheckAccess(paths.socket, access))
    {
        return error;
    }
    sockaddr_un address{};
    if (!MakeAddress(paths.socket, address))
    {
        return ERROR_INVALID_NAME;
    }
    m_socket.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!m_socket.IsOpen())
    {
        return ErrorFromErrno(errno);
    }
    if (::connect(m_socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        switch (errno)
        {
        case EAGAIN:
            // The one instance already has a client waiting to be accepted.
            return ERROR_PIPE_BUSY;
        case ECONNREFUSED:
            // Refused by a live server whose instance is taken, or left by a server that died.
            return NameLock::IsHeld(paths.lock) ? ERROR_PIPE_BUSY : ERROR_FILE_NOT_FOUND;
        default:
            return ErrorFromErrno(errno);
        }
    }
    if (!PeerIsSameUser(m_socket.Get()))
    {
        return ERROR_ACCESS_DENIED;
    }
    ShutDownUnusedDirections(m_socket.Get(), access);
    return ERROR_SUCCESS;
}

Attempt PipeClient::TryTransfer(TransferKind kind, char* buffer, DWORD size)
{
    if (kind == TransferKind::Read)
    {
        return ReceiveFrom(m_socket.Get(), buffer, size);
    }
    return SendTo(m_socket.Get(), buffer, size);
}

Watch PipeClient::WatchFor(TransferKind kind) const
{
    return Watch::Descriptor(m_socket.Get(), kind == TransferKind::Write ? POLLOUT : POLLIN);
}

void PipeClient::CloseEnd(bool owner)
{
    // A child's copy of the socket is the parent's connection too: only the parent shuts it down.
    if (owner)
    {
        ::shutdown(m_socket.Get(), SHUT_RDWR);
    }
    m_socket.Reset();
}

} // namespace Ostrel::Platform
