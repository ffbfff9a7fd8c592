// PipeServer: the server end of a named pipe, one instance per name. It listens on the name's
// socket until a client comes, takes that one client (a ConnectNamedPipe, or the first transfer,
// accepts it) and then refuses every other; closing it removes the socket and frees the name.
#pragma once

#include "FileDescriptor.h"
#include "NameLock.h"
#include "PipeDirectory.h"
#include "Stream.h"

#include <memory>

namespace Ostrel::Platform
{

class PipeServer final : public Stream
{
public:
    // access: GENERIC_READ and/or GENERIC_WRITE for this end. Null, with the thread's error set,
    // on failure: ERROR_PIPE_BUSY while another server holds the name.
    static std::shared_ptr<PipeServer> Create(const PipeName& name, DWORD access, bool overlapped,
                                              DWORD outBufferSize, DWORD inBufferSize);

    PipeServer(DWORD access, bool overlapped, DWORD outBufferSize, DWORD inBufferSize);
    ~PipeServer() override;

protected:
    DWORD Refusal(TransferKind kind) override;
    Attempt TryTransfer(TransferKind kind, char* buffer, DWORD size) override;
    pollfd WatchFor(TransferKind kind) const override;
    void CloseEnd() override;

private:
    DWORD Listen(const PipeName& name);
    // Takes the waiting client, if there is one from this user.
    bool AcceptClient();
    bool IsConnected() const noexcept { return m_connection.IsOpen(); }

    const DWORD m_access;
    const DWORD m_outBufferSize;
    const DWORD m_inBufferSize;
    PipePaths m_paths;
    NameLock m_lock;
    FileDescriptor m_listener;
    FileDescriptor m_connection;
    bool m_socketFileExists = false;
};

} // namespace Ostrel::Platform
