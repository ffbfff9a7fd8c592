// StdStream: a standard handle over descriptor 0, 1 or 2, read or written in order whatever the
// descriptor is, with one system call per transfer where the descriptor allows it. Pipes and
// terminals are reopened through /proc/self/fd as a private non-blocking description, so that the
// blocking mode that the descriptor shares with other processes stays untouched; sockets use
// non-blocking calls directly (a send never raises SIGPIPE); regular files never block and are used
// as they are, at their current offset; anything else is polled before each call. A write to a pipe
// asks the kernel not to raise SIGPIPE, or, on kernels that cannot be asked, blocks SIGPIPE around
// it. Closing the handle puts /dev/null in the descriptor's place, so the peer sees the end while
// the number stays taken.
#pragma once

#include "FileDescriptor.h"
#include "Stream.h"

#include <memory>
#include <sys/types.h>

namespace Ostrel::Platform
{

class StdStream final : public Stream
{
public:
    // Null, with the thread's error set, on failure.
    static std::shared_ptr<StdStream> Open(int stdFd);

    StdStream(int stdFd, DWORD access);

    DWORD FileType() const override;
    BOOL MovePointer(int64_t distance, DWORD method, int64_t* position) override;

protected:
    Attempt TryTransfer(TransferKind kind, char* buffer, DWORD size) override;
    Watch WatchFor(TransferKind kind) const override;
    void CloseEnd(bool owner) override;

private:
    enum class Medium
    {
        Socket,  // non-blocking socket calls on the descriptor itself
        Private, // a private non-blocking description of the same pipe or terminal
        File,    // a regular file, which never blocks: the descriptor itself
        Shared   // the descriptor itself, polled before each call
    };

    void ChooseMedium();
    int IoFd() const noexcept;
    bool IsReady(short events) const;
    Attempt ReadSome(char* buffer, DWORD size);
    Attempt WriteSome(const char* buffer, DWORD size);
    ssize_t WriteToPipe(const char* buffer, DWORD size);

    const int m_stdFd;
    const DWORD m_access;
    Medium m_medium = Medium::Shared;
    bool m_isPipe = false;
    FileDescriptor m_private;
};

} // namespace Ostrel::Platform
