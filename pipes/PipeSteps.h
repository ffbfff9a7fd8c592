// The steps that the pipe input and the pipe output share: making their events, connecting a
// server end, and waiting for a transfer or an interrupt.
#pragma once

#include <Ostrel/Core/PipeHandle.h>
#include <Ostrel/Platform/Windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

namespace Ostrel::Core
{
class SharedPipeHandle;
}

namespace Ostrel::Core::detail
{

class FilePosition;

// The handle type of the public headers is the system's.
static_assert(std::is_same_v<PipeHandle, HANDLE>, "PipeHandle must be the system's HANDLE");

// The overlapped record of a pipe stream's transfers, and the event that interrupts them.
struct TransferRecord
{
    OVERLAPPED overlapped{};
    HANDLE interrupt = nullptr;
};

// The largest transfer, and the buffer sizes of the pipes the library creates.
constexpr uint64_t kPipeBufferSize = 4096;

// A manual-reset event, created unsignalled; null on failure, with the last-error code set.
HANDLE CreateManualResetEvent();

// Prepares the overlapped record for a new transfer: its event reset, its offset 0.
void PrepareOverlapped(OVERLAPPED& overlapped);

// Prepares the overlapped record for one read or write and places it: at offset 0 on a pipe, which
// has no offset, and at the file's position on a handle to a disk file (a redirected standard
// handle), whose transfers then go one at a time; Moved takes the position past the bytes moved.
class TransferPlacement
{
public:
    TransferPlacement(OVERLAPPED& overlapped, const std::shared_ptr<SharedPipeHandle>& share);
    TransferPlacement(const TransferPlacement&) = delete;
    TransferPlacement& operator=(const TransferPlacement&) = delete;

    void Moved(DWORD transferred);

private:
    // Kept for the whole transfer: the close step may let go of the stream's share meanwhile.
    std::shared_ptr<FilePosition> m_position;
    std::unique_lock<std::mutex> m_lock;
    uint64_t m_offset = 0;
};

// Waits, without a time-out, until the transfer's event or the interrupt event is signalled.
// waitList holds the interrupt event, then the overlapped event.
void WaitForTransferOrInterrupt(const HANDLE (&waitList)[2]);

// The connect step of a server end: connects, waiting for the client when it has not come yet.
// A client that came first counts as connected; any other failure is logged (a wait ended by the
// interrupt leaves the connect incomplete). A connect that fails at once is not waited for: no
// completion would ever end the wait, and the transfer that follows reports the pipe's state.
void ConnectServerEnd(HANDLE pipe, OVERLAPPED& overlapped, const HANDLE (&waitList)[2]);

// Cancels the calling thread's transfer on the pipe and waits for the cancelled transfer to finish,
// so that the system is done with the caller's buffer and the overlapped record before they are
// reused or released.
void CancelTransfer(HANDLE pipe, OVERLAPPED& overlapped);

// The conditions that end a read quietly: the other end gone (109), the end of a file the handle
// leads to (38, a standard input redirected from a file), or a message longer than the request
// (234). Logs its WARNING and returns true for those, false for any other code.
bool LogReadClosingCondition(DWORD error);
// The conditions that end a write quietly: the other end gone, which Windows reports as 109 or as
// 232 (the pipe being closed: after the reader has gone, or for a client that came and went before
// the connect), or a message longer than the request (234). Logs its WARNING and returns true for
// those, false for any other code.
bool LogWriteClosingCondition(DWORD error);

// The close step after a failed transfer: closes the pipe, or lets go of the stream's share of it
// when it shares the handle, and marks the handle invalid. Always false, the transfer's result.
bool CloseAfterFailure(HANDLE& pipe, std::shared_ptr<SharedPipeHandle>& share);

// Closes an event handle that may be null.
void CloseEvent(HANDLE event);

} // namespace Ostrel::Core::detail
