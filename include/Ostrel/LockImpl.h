// LockImpl: the non-recursive mutex behind a stream's ILockable. The mutex (a std::mutex) lives in
// storage of its own inside the object and is built and used by the library, so that this header
// does not need <mutex>.
#pragma once

#include <Ostrel/ZelIOExport.h>

#include <cstddef>

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

    // Room for a std::mutex on every platform the library builds for (the largest, MSVC's, takes
    // 80 bytes); the library checks it when it is built.
    static constexpr std::size_t kMutexBytes = 80;

private:
    alignas(alignof(std::max_align_t)) unsigned char m_mutex[kMutexBytes];
};

} // namespace Ostrel
