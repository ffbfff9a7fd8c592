// PipeClient: the client end of a named pipe, a connected socket whose unused direction is shut.
#pragma once

#include "FileDescriptor.h"
#include "PipeName.h"
#include "Stream.h"

#include <memory>

namespace Ostrel::Platform
{

class PipeClient final : public Stream
{
public:
    // access: GENERIC_READ and/or GENERIC_WRITE. Null, with the thread's error set, on failure:
    // ERROR_FILE_NOT_FOUND when no server has the name, ERROR_PIPE_BUSY when its instance is
    // taken, ERROR_ACCESS_DENIED when the server does not allow that access or runs as another user.
    static std::shared_ptr<PipeClient> Open(const PipeName& name, DWORD access, bool overlapped);

    PipeClient(DWORD access, bool overlapped);

protected:
    Attempt TryTransfer(TransferKind kind, char* buffer, DWORD size) override;
    Watch WatchFor(TransferKind kind) const override;
    void CloseEnd(bool owner) override;

private:
    DWORD ConnectTo(const PipeName& name, DWORD access);

    FileDescriptor m_socket;
};

} // namespace Ostrel::Platform
