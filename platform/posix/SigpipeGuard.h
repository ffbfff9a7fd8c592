// SigpipeGuard: keeps a write to a pipe whose reader has gone from killing the process. While it
// lives, SIGPIPE is blocked for the calling thread; a SIGPIPE that the guarded write raised is
// taken back before the old mask returns, and one that was already pending is left alone. A
// thread that blocks SIGPIPE itself costs one call less: its mask is left as it is.
#pragma once

#include <csignal>

namespace Ostrel::Platform
{

class SigpipeGuard
{
public:
    SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;
    ~SigpipeGuard();

    // To be called when the guarded write failed with EPIPE.
    void WriteRaisedSigpipe() noexcept { m_raised = true; }

private:
    sigset_t m_sigpipe;
    sigset_t m_previous;
    bool m_wasBlocked = false;
    bool m_wasPending = false;
    bool m_raised = false;
};

} // namespace Ostrel::Platform
