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
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_sigpipe, &m_previous);
}

SigpipeGuard::~SigpipeGuard()
{
    if (m_raised && !m_wasPending)
    {
        const timespec immediately{0, 0};
        sigtimedwait(&m_sigpipe, nullptr, &immediately);
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

} // namespace Ostrel::Platform
