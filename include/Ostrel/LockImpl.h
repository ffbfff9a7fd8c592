// LockImpl: the non-recursive mutex behind a stream's ILockable.
#pragma once

#include <Ostrel/ZelIOExport.h>

#include <mutex>

namespace Ostrel
{

class ZELIO_API LockImpl
{
public:
    LockImpl();
    ~LockImpl();
    LockImpl(const LockImpl&) = delete;
    LockImpl& operator=(const LockImpl&) = delete;

    // Throws std::system_error when the mutex reports an error.
    void Lock_Impl();
    // True when acquired, false when the mutex is busy.
    bool TryLock_Impl();
    void Unlock_Impl();

private:
    std::mutex m_mutex;
};

} // namespace Ostrel
