// LockImpl: a standard non-recursive mutex.
#include <Ostrel/LockImpl.h>

namespace Ostrel
{

LockImpl::LockImpl() = default;
LockImpl::~LockImpl() = default;

void LockImpl::Lock_Impl()
{
    m_mutex.lock();
}

bool LockImpl::TryLock_Impl()
{
    return m_mutex.try_lock();
}

void LockImpl::Unlock_Impl()
{
    m_mutex.unlock();
}

} // namespace Ostrel
