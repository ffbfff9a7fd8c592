// FrameBuffer: the bytes of one frame. Growing it leaves the new bytes uninitialised, since a read
// fills each of them before it is used: a large frame is not cleared before it arrives.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace Ostrel::Core::detail
{

template <class T> class UninitialisedAllocator : public std::allocator<T>
{
public:
    template <class U> struct rebind
    {
        using other = UninitialisedAllocator<U>;
    };

    UninitialisedAllocator() noexcept = default;
    template <class U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}

    template <class U> void construct(U* place) noexcept { ::new (static_cast<void*>(place)) U; }
    template <class U, class... Args> void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using FrameBuffer = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

} // namespace Ostrel::Core::detail
