// Stream: starting, finishing, cancelling and reporting overlapped transfers.
#include "Stream.h"

#include "Event.h"
#include "HandleTable.h"
#include "LastError.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <sys/eventfd.h>

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
    if (transferred != nullptr)
    {
        *transferred = static_cast<DWORD>(record->InternalHigh);
    }
    if (record->Internal != ERROR_SUCCESS)
    {
        return Fail(static_cast<DWORD>(record->Internal));
    }
    return TRUE;
}

} // namespace

Stream::Stream(DWORD access, bool overlapped)
    : m_access(access), m_overlapped(overlapped), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_wake.IsOpen())
    {
        SetLastError(ErrorFromErrno(errno));
    }
    // Enough for a read, a write and a connect at once without allocating.
    m_pending.reserve(4);
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

DWORD Stream::Refusal(TransferKind kind)
{
    return kind == TransferKind::Connect ? ERROR_INVALID_FUNCTION : ERROR_SUCCESS;
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
    std::shared_ptr<Event> event;
    if (record != nullptr && record->hEvent != nullptr)
    {
        event = FindEvent(record->hEvent);
        if (!event)
        {
            return FALSE;
        }
    }
    OVERLAPPED local{};
    OVERLAPPED* target = record != nullptr ? record : &local;
    const bool synchronous = record == nullptr || !m_overlapped;

    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (FindPending(target) != nullptr)
    {
        // The record belongs to a transfer that is still pending: the pipe's state answers first,
        // and the record is left as it is.
        const DWORD refusal = Refusal(kind);
        return Fail(refusal != ERROR_SUCCESS ? refusal : ERROR_INVALID_PARAMETER);
    }
    if (event)
    {
        event->Reset();
    }
    target->Internal = kStatusPending;
    target->InternalHigh = 0;
    const DWORD refusal = Refusal(kind);
    if (refusal != ERROR_SUCCESS)
    {
        target->Internal = refusal;
        return Fail(refusal);
    }

    const Attempt attempt = TryUnlocked(lock, kind, buffer, size);
    if (m_closed && !IsFinished(kind, attempt, size))
    {
        // Closed by another thread while the attempt was made: nothing will finish it now.
        target->Internal = ERROR_OPERATION_ABORTED;
        return Fail(ERROR_OPERATION_ABORTED);
    }
    if (IsFinished(kind, attempt, size))
    {
        target->Internal = attempt.error;
        target->InternalHigh = attempt.bytes;
        if (attempt.error != ERROR_SUCCESS)
        {
            return Fail(attempt.error);
        }
        if (event)
        {
            event->Set();
        }
        return Report(target, transferred);
    }

    const DWORD done = attempt.wouldBlock ? 0 : attempt.bytes;
    try
    {
        m_pending.push_back(
            PendingTransfer{target, kind, buffer, size, done, std::this_thread::get_id(), event});
    }
    catch (const std::bad_alloc&)
    {
        target->Internal = ERROR_NOT_ENOUGH_MEMORY;
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (event)
    {
        event->Bind(std::static_pointer_cast<Stream>(shared_from_this()), target);
    }
    if (!synchronous)
    {
        return Fail(ERROR_IO_PENDING);
    }
    return BlockUntilDone(lock, target, transferred);
}

BOOL Stream::BlockUntilDone(std::unique_lock<std::mutex>& lock, OVERLAPPED* record, DWORD* transferred)
{
    for (PendingTransfer* pending = FindPending(record); pending != nullptr; pending = FindPending(record))
    {
        pollfd watches[2] = {WatchFor(pending->kind), {m_wake.Get(), POLLIN, 0}};
        lock.unlock();
        ::poll(watches, 2, -1);
        lock.lock();
        AdvanceLocked(lock, record);
    }
    return Report(record, transferred);
}

BOOL Stream::GetResult(OVERLAPPED* record, DWORD* transferred, bool wait)
{
    if (record == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    AdvanceLocked(lock, record);
    PendingTransfer* pending = FindPending(record);
    if (pending == nullptr)
    {
        // Not pending here: a finished record reports its result, a record pending on another
        // handle is a caller's mistake.
        if (record->Internal == kStatusPending)
        {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        return Report(record, transferred);
    }
    if (!wait)
    {
        return Fail(ERROR_IO_INCOMPLETE);
    }
    if (record->hEvent == nullptr)
    {
        return BlockUntilDone(lock, record, transferred);
    }
    // As Win32 does: wait for the record's event once, then report what the record holds.
    HANDLE event = record->hEvent;
    lock.unlock();
    if (WaitForMultipleObjects(1, &event, FALSE, INFINITE) == WAIT_FAILED)
    {
        return FALSE;
    }
    lock.lock();
    if (FindPending(record) != nullptr)
    {
        return Fail(ERROR_IO_INCOMPLETE);
    }
    return Report(record, transferred);
}

BOOL Stream::CancelIssuedByThisThread()
{
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = m_pending.size(); i-- > 0;)
    {
        if (m_pending[i].issuer == self)
        {
            Complete(m_pending[i], ERROR_OPERATION_ABORTED, m_pending[i].done);
        }
    }
    return TRUE;
}

void Stream::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
    {
        return;
    }
    m_closed = true;
    while (!m_pending.empty())
    {
        Complete(m_pending.back(), ERROR_OPERATION_ABORTED, m_pending.back().done);
    }
    CloseEnd();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
}

bool Stream::Watch(const OVERLAPPED* record, pollfd& watch)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const PendingTransfer* pending = FindPending(record);
    if (pending == nullptr)
    {
        return false;
    }
    watch = WatchFor(pending->kind);
    return true;
}

void Stream::Advance(const OVERLAPPED* record)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    AdvanceLocked(lock, record);
}

PendingTransfer* Stream::FindPending(const OVERLAPPED* record)
{
    for (PendingTransfer& pending : m_pending)
    {
        if (pending.record == record)
        {
            return &pending;
        }
    }
    return nullptr;
}

// One more try at a pending transfer. Its attempt runs without the stream's lock (TryUnlocked), so
// the transfer is looked up again afterwards: another thread may have closed the stream or moved
// the pending records meanwhile.
void Stream::AdvanceLocked(std::unique_lock<std::mutex>& lock, const OVERLAPPED* record)
{
    PendingTransfer* pending = FindPending(record);
    if (pending == nullptr)
    {
        return;
    }
    const TransferKind kind = pending->kind;
    const bool writing = kind == TransferKind::Write;
    char* at = writing ? pending->buffer + pending->done : pending->buffer;
    const DWORD left = writing ? pending->size - pending->done : pending->size;
    const Attempt attempt = TryUnlocked(lock, kind, at, left);
    pending = FindPending(record);
    if (pending == nullptr || attempt.wouldBlock)
    {
        return;
    }
    if (attempt.error != ERROR_SUCCESS)
    {
        Complete(*pending, attempt.error, pending->done);
        return;
    }
    if (!writing)
    {
        Complete(*pending, ERROR_SUCCESS, attempt.bytes);
        return;
    }
    pending->done += attempt.bytes;
    if (pending->done >= pending->size)
    {
        Complete(*pending, ERROR_SUCCESS, pending->done);
    }
}

// A read or a write tries its system call with the stream's lock released, so that the two
// directions of a duplex end move at once; one thread at a time uses each direction, and what the
// call uses (the connected descriptor) does not change while the stream is open. A connect keeps
// the lock: it changes the stream's state.
Attempt Stream::TryUnlocked(std::unique_lock<std::mutex>& lock, TransferKind kind, char* buffer, DWORD size)
{
    if (kind == TransferKind::Connect)
    {
        return TryTransfer(kind, buffer, size);
    }
    lock.unlock();
    const Attempt attempt = TryTransfer(kind, buffer, size);
    lock.lock();
    return attempt;
}

void Stream::Complete(PendingTransfer& pending, DWORD error, DWORD bytes)
{
    OVERLAPPED* record = pending.record;
    std::shared_ptr<Event> event = std::move(pending.event);
    record->Internal = error;
    record->InternalHigh = bytes;
    // Swap-and-pop keeps the vector's storage: no allocation per transfer.
    if (&pending != &m_pending.back())
    {
        pending = std::move(m_pending.back());
    }
    m_pending.pop_back();
    if (event)
    {
        event->Set();
        event->Unbind(record);
    }
}

} // namespace Ostrel::Platform
