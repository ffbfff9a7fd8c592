// SigpipeGuard: per-thread blocking of SIGPIPE around one write.
#include "SigpipeGuard.h"

#include <ctime>
#include <pthread.h>

namespace Ostrel::Platform
{

SigpipeGuard::SigpipeGuard()
{
    sigemptyset(&m_sigpipe);
    sigaddset(&m_sigpipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &m_sigpipe, &m_previous);
    m_wasBlocked = sigismember(&m_previous, SIGPIPE) == 1;
    // Only a thread that blocks SIGPIPE can have one pending for itself: an unblocked one would
    // have been delivered already.
    if (m_wasBlocked)
    {
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    }
}

SigpipeGuard::~SigpipeGuard()
{
    if (m_raised && !m_wasPending)
    {
        // The write's own SIGPIPE is directed at this thread and is taken before any other.
        const timespec immediately{0, 0};
        sigtimedwait(&m_sigpipe, nullptr, &immediately);
    }
    if (!m_wasBlocked)
    {
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
}

} // namespace Ostrel::Platform
