// RefCountImpl: an atomic reference count, built in the object's own storage.
#include <Ostrel/RefCountImpl.h>

#include <atomic>
#include <new>

namespace Ostrel
{
namespace
{

using Counter = std::atomic<unsigned int>;
static_assert(sizeof(Counter) <= 8 && alignof(Counter) <= 8, "RefCountImpl has no room for its counter");
static_assert(Counter::is_always_lock_free, "the counter must not need a lock");

Counter& CounterIn(unsigned char* storage) noexcept
{
    return *std::launder(reinterpret_cast<Counter*>(storage));
}

} // namespace

RefCountImpl::RefCountImpl() noexcept
{
    new (m_count) Counter(0);
}

RefCountImpl::~RefCountImpl()
{
    CounterIn(m_count).~Counter();
}

unsigned int RefCountImpl::AddRefImpl() const noexcept
{
    // A new reference is always made from an existing one, so nothing needs ordering here.
    return CounterIn(m_count).fetch_add(1, std::memory_order_relaxed) + 1;
}

unsigned int RefCountImpl::GetRefCountImpl() const noexcept
{
    return CounterIn(m_count).load(std::memory_order_relaxed);
}

unsigned int RefCountImpl::ReleaseImpl() const noexcept
{
    // Release publishes this thread's writes to the object; acquire lets the thread that sees 0
    // (and so destroys the object) see every other thread's writes.
    return CounterIn(m_count).fetch_sub(1, std::memory_order_acq_rel) - 1;
}

} // namespace Ostrel
