// IRefCountable and the free functions that boost::intrusive_ptr calls.
#include <Ostrel/IRefCountable.h>

namespace Ostrel
{

IRefCountable::IRefCountable() noexcept = default;
IRefCountable& IRefCountable::operator=(const IRefCountable&) noexcept = default;
IRefCountable::~IRefCountable() = default;

void intrusive_ptr_add_ref(const IRefCountable* object)
{
    object->AddRef();
}

void intrusive_ptr_release(const IRefCountable* object)
{
    object->Release();
}

} // namespace Ostrel
