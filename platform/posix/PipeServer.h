// PipeServer: the server end of a named pipe, one instance per name. It listens on the name's
// socket until a client comes, takes that one client (a ConnectNamedPipe, the first transfer, or a
// look at a pending connect accepts it, and the connects pending then complete) and then refuses
// every other; closing it removes the socket and frees the name.
#pragma once

#include "FileDescriptor.h"
#include "NameLock.h"
#include "PipeDirectory.h"
#include "Stream.h"

#include <atomic>
#include <chrono>
#include <memory>

namespace Ostrel::Platform
{

class PipeServer final : public Stream
{
public:
    // access: GENERIC_READ and/or GENERIC_WRITE for this end. Null, with the thread's error set,
    // on failure: ERROR_PIPE_BUSY while another server holds the name or something else listens
    // on its socket.
    static std::shared_ptr<PipeServer> Create(const PipeName& name, DWORD access, bool overlapped,
                                              DWORD outBufferSize, DWORD inBufferSize);

    PipeServer(DWORD access, bool overlapped, DWORD outBufferSize, DWORD inBufferSize);
    ~PipeServer() override;

protected:
    bool HasPeer() const noexcept override { return m_connected.load(std::memory_order_acquire); }
    DWORD TakePeer() override;
    DWORD ConnectRefusal() override;
    Attempt TryTransfer(TransferKind kind, char* buffer, DWORD size) override;
    Watch WatchFor(TransferKind kind) const override;
    void CloseEnd(bool owner) override;

private:
    using Clock = Watch::Clock;

    DWORD Listen(const PipeName& name);
    DWORD OpenListener();
    bool ListenAgain();
    void PauseAccepting(Clock::time_point now);
    // With the name's lock held: removes a socket file that nothing answers on any more.
    DWORD ClaimSocketFile();
    // Takes the waiting client, if there is one from this user. While the process has no
    // descriptor to give it, it tries again only after a pause that grows up to kLongestPause.
    bool AcceptClient();

    static constexpr std::chrono::milliseconds kFirstPause{1};
    static constexpr std::chrono::milliseconds kLongestPause{64};

    const DWORD m_access;
    const DWORD m_outBufferSize;
    const DWORD m_inBufferSize;
    PipePaths m_paths;
    NameLock m_lock;
    FileDescriptor m_listener;
    FileDescriptor m_connection;
    std::atomic<bool> m_connected{false};
    bool m_socketFileExists = false;
    // Set once a waiting client has been seen: the listener then takes no one else.
    bool m_listenerShut = false;
    Clock::time_point m_acceptPausedUntil{};
    std::chrono::milliseconds m_acceptPause = kFirstPause;
};

} // namespace Ostrel::Platform
