// MemoryException: a failure concerning a block of memory.
#include <Ostrel/Core/MemoryException.h>

#include <boost/exception/info.hpp>
#include <Ostrel/ErrorInfo.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

MemoryException::MemoryException(const std::string& description, uint64_t size)
{
    *this << ErrorDescription(description) << ErrorBlockSize(size);
}

ZELIO_DEFINE_EXCEPTION_COPY_MEMBERS(MemoryException)

} // namespace Ostrel::Core
