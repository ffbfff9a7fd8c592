// AutoLock: a scoped holder of an ILockable's lock.
#include <Ostrel/AutoLock.h>

namespace Ostrel
{

AutoLock::AutoLock(ILockable* lockable) : m_lockable(lockable)
{
    if (m_lockable != nullptr)
    {
        m_lockable->Lock();
    }
}

AutoLock::~AutoLock()
{
    if (m_lockable != nullptr)
    {
        m_lockable->Unlock();
    }
}

AutoLock& AutoLock::operator=(const AutoLock& other)
{
    m_lockable = other.m_lockable;
    return *this;
}

} // namespace Ostrel
