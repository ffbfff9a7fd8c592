// Stream: a handle that moves bytes (a pipe end or a standard handle), and the engine of its
// overlapped transfers. A transfer is tried at once; when it cannot finish it stays pending in its
// lane and is moved on by whichever call next finds its descriptor ready: a wait on its event,
// GetOverlappedResult, or the blocking loop of a synchronous call. Every attempt is made with its
// lane's lock held, so each pending transfer has one owner at a time and its bytes move exactly
// once, however many threads wait for it. Subclasses supply the non-blocking attempts and the
// descriptors to watch.
#pragma once

#include "HandleRef.h"
#include "KernelObject.h"
#include "Transfer.h"
#include "TransferLane.h"
#include "WaitList.h"

#include <Ostrel/Platform/posix/Win32Api.h>

#include <array>
#include <atomic>
#include <mutex>
#include <sys/types.h>

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
    // In the process that made the stream this also releases what the peer sees; in a child made
    // by fork it closes the child's own descriptors and nothing else.
    void Close() final;

    // GetFileType's answer for the handle: a pipe, unless the stream says otherwise.
    virtual DWORD FileType() const { return FILE_TYPE_PIPE; }
    // SetFilePointerEx on the handle: only a stream over a file has a pointer to move.
    virtual BOOL MovePointer(int64_t distance, DWORD method, int64_t* position);

    // For a wait on the event of a pending transfer: what to watch, false when the transfer is no
    // longer pending; then one more try at the lane's transfers.
    bool WatchTransfer(TransferKind kind, const OVERLAPPED* record, Watch& watch);
    void Advance(TransferKind kind);

protected:
    // access: GENERIC_READ and/or GENERIC_WRITE. overlapped: FALSE makes every transfer block.
    Stream(DWORD access, bool overlapped);

    // The hooks below run with the lock of the lane they name held (the connect lane for
    // TakePeer and ConnectRefusal, all lanes for CloseEnd).
    //
    // Whether reads and writes may go to the peer without taking it first (a server before its
    // client has come may not). Called without a lock: once true it stays true.
    virtual bool HasPeer() const noexcept { return true; }
    // Takes the waiting peer for a read or a write: ERROR_SUCCESS, or the code that refuses it.
    virtual DWORD TakePeer() { return ERROR_SUCCESS; }
    // The code that ends a new connect at once, or ERROR_SUCCESS when it may go pending.
    virtual DWORD ConnectRefusal() { return ERROR_INVALID_FUNCTION; }
    virtual Attempt TryTransfer(TransferKind kind, char* buffer, DWORD size) = 0;
    virtual Watch WatchFor(TransferKind kind) const = 0;
    // Releases the descriptors; `owner` is true in the process that made the stream, which also
    // releases what the peer sees (shutting the connection down, removing the name).
    virtual void CloseEnd(bool owner) = 0;

private:
    struct Request
    {
        TransferKind kind;
        char* buffer;
        DWORD size;
        OVERLAPPED* record;
    };

    BOOL Start(TransferKind kind, char* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record);
    // The code that refuses a read or a write before it reaches its lane (ERROR_SUCCESS when none).
    DWORD RefuseDataTransfer(TransferKind kind, OVERLAPPED* record, Event* event);
    BOOL StartInLane(const Request& request, const HandleRef<Event>& event);
    static BOOL Finished(DWORD error, Event* event);
    DWORD RefuseConnectLocked();
    BOOL QueueLocked(const Request& request, DWORD done, const HandleRef<Event>& event);
    // The steps before a read or a write: the peer taken, the connects it ends settled.
    DWORD PrepareDataTransfer(const OVERLAPPED* record, bool& leaveRecord);
    bool IsPendingInAnotherLane(TransferKind kind, const OVERLAPPED* record);
    BOOL BlockUntilDone(TransferKind kind, OVERLAPPED* record, DWORD* transferred);
    // The lane that holds the record's pending transfer; false when none does.
    bool FindLane(const OVERLAPPED* record, TransferKind& kind);
    // With the lane's lock held: moves its transfers on, in order, until one cannot go on.
    void PumpLocked(TransferKind kind);
    void CompleteLocked(TransferKind kind, std::size_t index, DWORD error, DWORD bytes);
    bool Permits(TransferKind kind) const noexcept;
    TransferLane& LaneOf(TransferKind kind) noexcept { return m_lanes[static_cast<int>(kind)]; }

    const DWORD m_access;
    const bool m_overlapped;
    const pid_t m_owner;
    std::atomic<bool> m_closed{false};
    std::array<TransferLane, kTransferKinds> m_lanes;
    // Calls blocked on a transfer without an event (synchronous transfers, GetOverlappedResult
    // told to wait): woken when a transfer of the stream completes and when it closes.
    WaitList m_blocked;
};

} // namespace Ostrel::Platform
