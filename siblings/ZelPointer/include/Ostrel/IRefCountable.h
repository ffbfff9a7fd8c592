// IRefCountable: the virtual base of every reference-counted object, found by boost::intrusive_ptr
// through the two free functions declared below.
#pragma once

#include <Ostrel/ZelPointerExport.h>

namespace Ostrel
{

class ZELPOINTER_API IRefCountable
{
public:
    IRefCountable() noexcept;
    IRefCountable& operator=(const IRefCountable&) noexcept;

    virtual unsigned int AddRef() const = 0;
    virtual unsigned int GetRefCount() const = 0;
    // Drops one reference; the object destroys itself when the count reaches 0 and 0 is returned.
    virtual unsigned int Release() const = 0;

protected:
    IRefCountable(const IRefCountable&) noexcept = default;
    virtual ~IRefCountable();
};

ZELPOINTER_API void intrusive_ptr_add_ref(const IRefCountable* object);
ZELPOINTER_API void intrusive_ptr_release(const IRefCountable* object);

} // namespace Ostrel
