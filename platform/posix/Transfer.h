// The vocabulary of overlapped transfers: what a transfer is, how one attempt at it ended, and the
// record of a transfer that is still pending.
#pragma once

#include <Ostrel/Platform/posix/Win32Api.h>

#include <memory>
#include <thread>

namespace Ostrel::Platform
{

class Event;

// Win32's STATUS_PENDING, kept in OVERLAPPED::Internal while a transfer is under way.
constexpr ULONG_PTR kStatusPending = 0x103;

enum class TransferKind
{
    Connect,
    Read,
    Write
};

// One non-blocking try: done (error ERROR_SUCCESS, with the bytes moved), failed (an error code),
// or nothing possible yet.
struct Attempt
{
    DWORD error = ERROR_SUCCESS;
    DWORD bytes = 0;
    bool wouldBlock = false;

    static Attempt Done(DWORD bytes) { return Attempt{ERROR_SUCCESS, bytes, false}; }
    static Attempt Failed(DWORD error) { return Attempt{error, 0, false}; }
    static Attempt Blocked() { return Attempt{ERROR_SUCCESS, 0, true}; }
};

struct PendingTransfer
{
    OVERLAPPED* record = nullptr;
    TransferKind kind = TransferKind::Read;
    char* buffer = nullptr;
    DWORD size = 0;
    DWORD done = 0;
    std::thread::id issuer;
    std::shared_ptr<Event> event;
};

} // namespace Ostrel::Platform
