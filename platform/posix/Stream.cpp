// Stream: starting, moving on, cancelling and reporting overlapped transfers.
#include "Stream.h"

#include "Deadline.h"
#include "Event.h"
#include "HandleCache.h"
#include "HandleTable.h"
#include "LastError.h"
#include "ThreadWaker.h"

#include <chrono>
#include <new>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

// A read finishes with whatever bytes arrived; a write only once every byte has gone.
bool IsFinished(TransferKind kind, const Attempt& attempt, DWORD size)
{
    if (attempt.wouldBlock)
    {
        return false;
    }
    return kind != TransferKind::Write || attempt.error != ERROR_SUCCESS || attempt.bytes >= size;
}

BOOL Report(const OVERLAPPED* record, DWORD* transferred)
{
    const ULONG_PTR status = LoadStatus(record);
    if (transferred != nullptr)
    {
        *transferred = static_cast<DWORD>(record->InternalHigh);
    }
    if (status != ERROR_SUCCESS)
    {
        return Fail(static_cast<DWORD>(status));
    }
    return TRUE;
}

// Without a waker of its own a blocked call cannot be woken early: it looks again this often.
constexpr auto kUnwokenPollInterval = std::chrono::milliseconds(10);

} // namespace

Stream::Stream(DWORD access, bool overlapped)
    : m_access(access), m_overlapped(overlapped), m_owner(::getpid())
{
}

BOOL Stream::Read(void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record)
{
    return Start(TransferKind::Read, static_cast<char*>(buffer), size, transferred, record);
}

BOOL Stream::Write(const void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record)
{
    // The buffer is only read from; the pending record keeps one pointer type for both directions.
    return Start(TransferKind::Write, static_cast<char*>(const_cast<void*>(buffer)), size, transferred,
                 record);
}

BOOL Stream::Connect(OVERLAPPED* record)
{
    return Start(TransferKind::Connect, nullptr, 0, nullptr, record);
}

bool Stream::Permits(TransferKind kind) const noexcept
{
    switch (kind)
    {
    case TransferKind::Read:
        return (m_access & GENERIC_READ) != 0;
    case TransferKind::Write:
        return (m_access & GENERIC_WRITE) != 0;
    case TransferKind::Connect:
        return true;
    }
    return false;
}

BOOL Stream::Start(TransferKind kind, char* buffer, DWORD size, DWORD* transferred, OVERLAPPED* record)
{
    if (transferred != nullptr)
    {
        *transferred = 0;
    }
    if (!Permits(kind))
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    HandleRef<Event> event;
    if (record != nullptr && record->hEvent != nullptr)
    {
        event = FindEvent(record->hEvent);
        if (!event)
        {
            return FALSE;
        }
    }
    if (m_closed.load())
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    OVERLAPPED local{};
    OVERLAPPED* target = record != nullptr ? record : &local;
    if (kind != TransferKind::Connect)
    {
        if (const DWORD refusal = RefuseDataTransfer(kind, target, event.get()))
        {
            return Fail(refusal);
        }
    }
    const Request request{kind, buffer, size, target};
    const BOOL started = StartInLane(request, event);
    if (started || GetLastError() != ERROR_IO_PENDING || (record != nullptr && m_overlapped))
    {
        return started ? Report(target, transferred) : FALSE;
    }
    return BlockUntilDone(kind, target, transferred);
}

DWORD Stream::RefuseDataTransfer(TransferKind kind, OVERLAPPED* record, Event* event)
{
    bool leaveRecord = false;
    const DWORD refusal = PrepareDataTransfer(record, leaveRecord);
    if (refusal == ERROR_SUCCESS)
    {
        return IsPendingInAnotherLane(kind, record) ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    }
    if (!leaveRecord)
    {
        if (event != nullptr)
        {
            event->Reset();
        }
        StoreResult(record, refusal, 0);
    }
    return refusal;
}

// With the lane's lock: the transfer is refused, finishes at once (TRUE), or joins the lane's
// pending transfers (FALSE with ERROR_IO_PENDING).
BOOL Stream::StartInLane(const Request& request, const HandleRef<Event>& event)
{
    TransferLane& lane = LaneOf(request.kind);
    std::unique_lock<LaneMutex> lock(lane.Mutex());
    if (m_closed.load())
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (lane.Holds(request.record))
    {
        // The record belongs to a transfer that is still pending: the pipe's state answers first,
        // and the record is left as it is.
        const DWORD refusal = request.kind == TransferKind::Connect ? RefuseConnectLocked() : ERROR_SUCCESS;
        return Fail(refusal != ERROR_SUCCESS ? refusal : ERROR_INVALID_PARAMETER);
    }
    if (event)
    {
        event->Reset();
    }
    StoreResult(request.record, kStatusPending, 0);
    if (request.kind == TransferKind::Connect)
    {
        if (const DWORD refusal = RefuseConnectLocked())
        {
            StoreResult(request.record, refusal, 0);
            return Fail(refusal);
        }
    }
    DWORD done = 0;
    // A transfer queued behind others waits for its turn: bytes go in the order of the calls.
    if (lane.IsEmpty())
    {
        const Attempt attempt = TryTransfer(request.kind, request.buffer, request.size);
        if (IsFinished(request.kind, attempt, request.size))
        {
            StoreResult(request.record, attempt.error, attempt.bytes);
            lock.unlock();
            return Finished(attempt.error, event.get());
        }
        done = attempt.wouldBlock ? 0 : attempt.bytes;
    }
    return QueueLocked(request, done, event);
}

BOOL Stream::Finished(DWORD error, Event* event)
{
    if (error != ERROR_SUCCESS)
    {
        return Fail(error);
    }
    if (event != nullptr)
    {
        event->Set();
    }
    return TRUE;
}

// With the lane's lock held: the code that ends a new connect at once, after the connects already
// pending have been settled with a peer taken just now.
DWORD Stream::RefuseConnectLocked()
{
    const DWORD refusal = ConnectRefusal();
    PumpLocked(TransferKind::Connect);
    return refusal;
}

BOOL Stream::QueueLocked(const Request& request, DWORD done, const HandleRef<Event>& event)
{
    try
    {
        LaneOf(request.kind)
            .Add(PendingTransfer{request.record, request.buffer, request.size, done,
                                 std::this_thread::get_id(), event ? event.Share() : nullptr});
    }
    catch (const std::bad_alloc&)
    {
        StoreResult(request.record, ERROR_NOT_ENOUGH_MEMORY, 0);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (event)
    {
        event->Bind(weak_from_this(), request.kind, request.record);
    }
    return Fail(ERROR_IO_PENDING);
}

DWORD Stream::PrepareDataTransfer(const OVERLAPPED* record, bool& leaveRecord)
{
    if (HasPeer())
    {
        return ERROR_SUCCESS;
    }
    TransferLane& connects = LaneOf(TransferKind::Connect);
    std::lock_guard<LaneMutex> lock(connects.Mutex());
    if (m_closed.load())
    {
        leaveRecord = true;
        return ERROR_INVALID_HANDLE;
    }
    const DWORD refusal = TakePeer();
    if (refusal == ERROR_SUCCESS)
    {
        // The peer came: the connects waiting for it are done, whoever looks at them next.
        PumpLocked(TransferKind::Connect);
        return ERROR_SUCCESS;
    }
    // A transfer on the record of a connect still pending leaves that record alone.
    leaveRecord = connects.Holds(record);
    return refusal;
}

bool Stream::IsPendingInAnotherLane(TransferKind kind, const OVERLAPPED* record)
{
    if (LoadStatus(record) != kStatusPending)
    {
        return false;
    }
    TransferLane& other = LaneOf(kind == TransferKind::Read ? TransferKind::Write : TransferKind::Read);
    std::lock_guard<LaneMutex> lock(other.Mutex());
    return other.Holds(record);
}

BOOL Stream::BlockUntilDone(TransferKind kind, OVERLAPPED* record, DWORD* transferred)
{
    ThreadWaker* waker = ThreadWaker::Current();
    Waiter waiter(waker);
    if (waker != nullptr)
    {
        m_blocked.Add(waiter);
    }
    TransferLane& lane = LaneOf(kind);
    for (;;)
    {
        Watch watch;
        {
            std::lock_guard<LaneMutex> lock(lane.Mutex());
            PumpLocked(kind);
            if (!lane.Holds(record))
            {
                break;
            }
            watch = WatchFor(kind);
        }
        if (waker == nullptr)
        {
            watch.retryAt = std::min(watch.retryAt, Watch::Clock::now() + kUnwokenPollInterval);
        }
        pollfd watches[2] = {watch.poll, {waker != nullptr ? waker->Fd() : -1, POLLIN, 0}};
        ::poll(watches, 2, Deadline::Never().PollMilliseconds(watch.retryAt));
        if (watches[1].revents != 0)
        {
            waker->Drain();
        }
    }
    if (waker != nullptr)
    {
        m_blocked.Remove(waiter);
    }
    return Report(record, transferred);
}

bool Stream::FindLane(const OVERLAPPED* record, TransferKind& kind)
{
    for (const TransferKind candidate : {TransferKind::Read, TransferKind::Write, TransferKind::Connect})
    {
        TransferLane& lane = LaneOf(candidate);
        std::lock_guard<LaneMutex> lock(lane.Mutex());
        if (lane.Holds(record))
        {
            kind = candidate;
            return true;
        }
    }
    return false;
}

BOOL Stream::GetResult(OVERLAPPED* record, DWORD* transferred, bool wait)
{
    if (record == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // A finished record reports its result without a lock.
    if (LoadStatus(record) != kStatusPending)
    {
        return Report(record, transferred);
    }
    TransferKind kind = TransferKind::Read;
    if (!FindLane(record, kind))
    {
        // Finished meanwhile, or pending on another handle, which is a caller's mistake.
        return LoadStatus(record) == kStatusPending ? Fail(ERROR_INVALID_PARAMETER)
                                                    : Report(record, transferred);
    }
    {
        TransferLane& lane = LaneOf(kind);
        std::lock_guard<LaneMutex> lock(lane.Mutex());
        PumpLocked(kind);
        if (!lane.Holds(record))
        {
            return Report(record, transferred);
        }
    }
    if (!wait)
    {
        return Fail(ERROR_IO_INCOMPLETE);
    }
    if (record->hEvent == nullptr)
    {
        return BlockUntilDone(kind, record, transferred);
    }
    // As Win32 does: wait for the record's event once, then report what the record holds.
    HANDLE event = record->hEvent;
    if (WaitForMultipleObjects(1, &event, FALSE, INFINITE) == WAIT_FAILED)
    {
        return FALSE;
    }
    if (LoadStatus(record) == kStatusPending)
    {
        return Fail(ERROR_IO_INCOMPLETE);
    }
    return Report(record, transferred);
}

BOOL Stream::MovePointer(int64_t, DWORD, int64_t*)
{
    return Fail(ERROR_INVALID_FUNCTION);
}

BOOL Stream::CancelIssuedByThisThread()
{
    const std::thread::id self = std::this_thread::get_id();
    for (const TransferKind kind : {TransferKind::Connect, TransferKind::Read, TransferKind::Write})
    {
        TransferLane& lane = LaneOf(kind);
        std::lock_guard<LaneMutex> lock(lane.Mutex());
        for (std::size_t i = lane.Size(); i-- > 0;)
        {
            if (lane.At(i).issuer == self)
            {
                CompleteLocked(kind, i, ERROR_OPERATION_ABORTED, lane.At(i).done);
            }
        }
    }
    return TRUE;
}

void Stream::Close()
{
    if (m_closed.exchange(true))
    {
        return;
    }
    {
        // In the lanes' order, the only order in which two lanes are ever held together.
        std::unique_lock<LaneMutex> connects(LaneOf(TransferKind::Connect).Mutex());
        std::unique_lock<LaneMutex> reads(LaneOf(TransferKind::Read).Mutex());
        std::unique_lock<LaneMutex> writes(LaneOf(TransferKind::Write).Mutex());
        for (const TransferKind kind : {TransferKind::Connect, TransferKind::Read, TransferKind::Write})
        {
            TransferLane& lane = LaneOf(kind);
            while (!lane.IsEmpty())
            {
                const std::size_t last = lane.Size() - 1;
                CompleteLocked(kind, last, ERROR_OPERATION_ABORTED, lane.At(last).done);
            }
        }
        CloseEnd(::getpid() == m_owner);
    }
    m_blocked.WakeAll();
}

bool Stream::WatchTransfer(TransferKind kind, const OVERLAPPED* record, Watch& watch)
{
    TransferLane& lane = LaneOf(kind);
    std::lock_guard<LaneMutex> lock(lane.Mutex());
    if (m_closed.load() || !lane.Holds(record))
    {
        return false;
    }
    watch = WatchFor(kind);
    return true;
}

void Stream::Advance(TransferKind kind)
{
    std::lock_guard<LaneMutex> lock(LaneOf(kind).Mutex());
    PumpLocked(kind);
}

void Stream::PumpLocked(TransferKind kind)
{
    if (m_closed.load())
    {
        // Close ends every pending transfer itself.
        return;
    }
    TransferLane& lane = LaneOf(kind);
    const bool writing = kind == TransferKind::Write;
    while (PendingTransfer* head = lane.Head())
    {
        char* at = writing ? head->buffer + head->done : head->buffer;
        const DWORD left = writing ? head->size - head->done : head->size;
        const Attempt attempt = TryTransfer(kind, at, left);
        if (attempt.wouldBlock)
        {
            return;
        }
        if (attempt.error != ERROR_SUCCESS)
        {
            CompleteLocked(kind, 0, attempt.error, head->done);
            continue;
        }
        if (!writing)
        {
            CompleteLocked(kind, 0, ERROR_SUCCESS, attempt.bytes);
            continue;
        }
        head->done += attempt.bytes;
        if (head->done < head->size)
        {
            // The socket took what it could: the rest waits until it has room again.
            return;
        }
        CompleteLocked(kind, 0, ERROR_SUCCESS, head->done);
    }
}

void Stream::CompleteLocked(TransferKind kind, std::size_t index, DWORD error, DWORD bytes)
{
    const PendingTransfer transfer = LaneOf(kind).Take(index);
    StoreResult(transfer.record, error, bytes);
    if (transfer.event)
    {
        transfer.event->Set();
        transfer.event->Unbind(transfer.record);
    }
    m_blocked.WakeAll();
}

} // namespace Ostrel::Platform
