// The socket operations that both ends of a named pipe use: non-blocking transfers that never
// raise SIGPIPE, buffer sizes, the peer's identity, and the directions an end does not use.
#pragma once

#include "Transfer.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <string>
#include <sys/un.h>

namespace Ostrel::Platform
{

Attempt ReceiveFrom(int fd, char* buffer, DWORD size);
Attempt SendTo(int fd, const char* buffer, DWORD size);

// Raises the socket's buffers to at least the given sizes; larger defaults are kept.
void EnsureBufferSizes(int fd, DWORD sendSize, DWORD receiveSize);
// True when the process at the other end runs as this process's effective user.
bool PeerIsSameUser(int fd);
// True once the peer can no longer take part in the directions this end uses.
bool PeerHasGone(int fd);
// Shuts the directions that `access` (GENERIC_READ / GENERIC_WRITE) does not grant.
void ShutDownUnusedDirections(int fd, DWORD access);
// Fills a socket address with the path; false when the path does not fit.
bool MakeAddress(const std::string& path, struct sockaddr_un& address);

// What answers on a socket file: nothing (the file is gone or refuses connections, as one left by a
// process that died does), a live listener, or something that cannot be told (then taken as live).
// A live listener sees a connection that closes at once.
enum class SocketAnswer
{
    Nothing,
    Listener,
    Unknown
};
SocketAnswer ProbeSocket(const std::string& path);

} // namespace Ostrel::Platform
