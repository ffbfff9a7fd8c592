// Stream: a handle that moves bytes (a pipe end or a standard handle), and the engine of its
// overlapped transfers. A transfer is tried at once; when it cannot finish it stays pending and is
// finished by whichever call next finds its descriptor ready: a wait on its event,
// GetOverlappedResult, or the blocking loop of a synchronous call. Subclasses supply the
// non-blocking attempts and the descriptor to watch.
#pragma once

#include "FileDescriptor.h"
#include "KernelObject.h"
#include "Transfer.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <mutex>
#include <poll.h>
#include <vector>

namespace Ostrel::Platform
{

class Stream : public KernelObject
{
public:
    Stream* AsStream() noexcept override { return this; }

    BOOL Read(void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record);
    BOOL Write(const void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record);
    BOOL Connect(OVERLAPPED* record);
    BOOL GetResult(OVERLAPPED* record, DWORD* transferred, bool wait);
    // Ends the calling thread's pending transfers with ERROR_OPERATION_ABORTED.
    BOOL CancelIssuedByThisThread();
    void Close() final;

    // For a wait on the event of a pending transfer: what to poll, false when it is no longer
    // pending; then one more try at it.
    bool Watch(const OVERLAPPED* record, pollfd& watch);
    void Advance(const OVERLAPPED* record);

protected:
    // access: GENERIC_READ and/or GENERIC_WRITE. overlapped: FALSE makes every transfer block.
    Stream(DWORD access, bool overlapped);
    // False, with the thread's error set, when the stream could not get its wake descriptor.
    bool IsUsable() const noexcept { return m_wake.IsOpen(); }

    // The error that refuses a new transfer at once (ERROR_SUCCESS when it may start); it must not
    // consume data. Called with the stream's lock held, like WatchFor and CloseEnd; TryTransfer is
    // called with it held for a connect and without it for a read or a write.
    virtual DWORD Refusal(TransferKind kind);
    virtual Attempt TryTransfer(TransferKind kind, char* buffer, DWORD size) = 0;
    virtual pollfd WatchFor(TransferKind kind) const = 0;
    // Releases what the peer sees. The descriptors themselves stay open until the object goes, so
    // that no call still polling them can ever poll a descriptor reused by something else.
    virtual void CloseEnd() = 0;

private:
    BOOL Start(TransferKind kind, char* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record);
    BOOL BlockUntilDone(std::unique_lock<std::mutex>& lock, OVERLAPPED* record, DWORD* transferred);
    PendingTransfer* FindPending(const OVERLAPPED* record);
    void AdvanceLocked(std::unique_lock<std::mutex>& lock, const OVERLAPPED* record);
    Attempt TryUnlocked(std::unique_lock<std::mutex>& lock, TransferKind kind, char* buffer, DWORD size);
    void Complete(PendingTransfer& pending, DWORD error, DWORD bytes);
    bool Permits(TransferKind kind) const noexcept;

    std::mutex m_mutex;
    const DWORD m_access;
    const bool m_overlapped;
    FileDescriptor m_wake;
    bool m_closed = false;
    std::vector<PendingTransfer> m_pending;
};

} // namespace Ostrel::Platform
