// LockImpl: a standard non-recursive mutex, built in the object's own storage.
#include <Ostrel/LockImpl.h>

#include <mutex>
#include <new>

namespace Ostrel
{
namespace
{

static_assert(sizeof(std::mutex) <= LockImpl::kMutexBytes, "LockImpl has no room for a std::mutex");
static_assert(alignof(std::mutex) <= alignof(std::max_align_t), "LockImpl cannot align a std::mutex");

std::mutex& MutexIn(unsigned char* storage)
{
    return *std::launder(reinterpret_cast<std::mutex*>(storage));
}

} // namespace

LockImpl::LockImpl()
{
    new (m_mutex) std::mutex;
}

LockImpl::~LockImpl()
{
    MutexIn(m_mutex).~mutex();
}

void LockImpl::Lock_Impl()
{
    MutexIn(m_mutex).lock();
}

bool LockImpl::TryLock_Impl()
{
    return MutexIn(m_mutex).try_lock();
}

void LockImpl::Unlock_Impl()
{
    MutexIn(m_mutex).unlock();
}

} // namespace Ostrel
