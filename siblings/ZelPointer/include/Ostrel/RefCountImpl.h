// RefCountImpl: the counter that concrete reference-counted classes hold as a member.
// The count is atomic: any number of threads may add and release references at once, and exactly
// one caller of ReleaseImpl sees the count reach 0. The counter (a std::atomic<unsigned int>) lives
// in storage of the object's own and is used by the library only, so this header needs no <atomic>.
#pragma once

#include <Ostrel/ZelPointerExport.h>

namespace Ostrel
{

class ZELPOINTER_API RefCountImpl
{
public:
    RefCountImpl() noexcept;
    ~RefCountImpl();
    RefCountImpl(const RefCountImpl&) = delete;
    RefCountImpl& operator=(const RefCountImpl&) = delete;

    unsigned int AddRefImpl() const noexcept;
    unsigned int GetRefCountImpl() const noexcept;
    // Returns the new count; the caller destroys the object when it is 0.
    unsigned int ReleaseImpl() const noexcept;

private:
    alignas(8) mutable unsigned char m_count[8];
};

static_assert(sizeof(RefCountImpl) <= 8, "a reference count takes at most 8 bytes");

} // namespace Ostrel
