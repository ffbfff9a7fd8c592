// The vocabulary of overlapped transfers: what a transfer is, how one attempt at it ended, what a
// wait watches while it is pending, the record of a pending transfer, and how its OVERLAPPED is read
// and written.
#pragma once

#include <Ostrel/Platform/posix/Win32Api.h>

#include <chrono>
#include <memory>
#include <poll.h>
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
constexpr int kTransferKinds = 3;

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

// What a pending transfer waits for: a descriptor to poll (fd -1 for none) and, when the next try
// is due at a set time rather than on an event of the descriptor, that time.
struct Watch
{
    using Clock = std::chrono::steady_clock;

    pollfd poll{-1, 0, 0};
    Clock::time_point retryAt = Clock::time_point::max();

    static Watch Descriptor(int fd, short events) { return Watch{pollfd{fd, events, 0}}; }
    static Watch RetryAt(Clock::time_point when) { return Watch{pollfd{-1, 0, 0}, when}; }
};

struct PendingTransfer
{
    OVERLAPPED* record = nullptr;
    char* buffer = nullptr;
    DWORD size = 0;
    DWORD done = 0;
    std::thread::id issuer;
    std::shared_ptr<Event> event;
};

// A record's status is read by threads that did not write it (a wait finishes a transfer that
// another thread started), so it is published with release and read with acquire semantics.
inline ULONG_PTR LoadStatus(const OVERLAPPED* record) noexcept
{
    return __atomic_load_n(&record->Internal, __ATOMIC_ACQUIRE);
}

inline void StoreResult(OVERLAPPED* record, ULONG_PTR status, DWORD bytes) noexcept
{
    __atomic_store_n(&record->InternalHigh, ULONG_PTR{bytes}, __ATOMIC_RELAXED);
    __atomic_store_n(&record->Internal, status, __ATOMIC_RELEASE);
}

} // namespace Ostrel::Platform
