// RefCountImpl: an atomic reference count.
#include <Ostrel/RefCountImpl.h>

namespace Ostrel
{

RefCountImpl::RefCountImpl() noexcept : m_count(0) {}

RefCountImpl::~RefCountImpl() = default;

unsigned int RefCountImpl::AddRefImpl() const noexcept
{
    // A new reference is always made from an existing one, so nothing needs ordering here.
    return m_count.fetch_add(1, std::memory_order_relaxed) + 1;
}

unsigned int RefCountImpl::GetRefCountImpl() const noexcept
{
    return m_count.load(std::memory_order_relaxed);
}

unsigned int RefCountImpl::ReleaseImpl() const noexcept
{
    // Release publishes this thread's writes to the object; acquire lets the thread that sees 0
    // (and so destroys the object) see every other thread's writes.
    return m_count.fetch_sub(1, std::memory_order_acq_rel) - 1;
}

} // namespace Ostrel
