// MemoryException: a failure concerning a block of memory. The only class of the family that must
// be built with information: a description and the size of the block.
#pragma once

#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/exception/error_info.hpp>

#include <cstdint>
#include <string>

namespace Ostrel::Core
{

class ZELIO_API MemoryException : public virtual CoreException
{
public:
    struct TagBlockSize; // the size of the memory block concerned

    // Attaches the description (TagDescription), then the size (TagBlockSize).
    MemoryException(const std::string& description, uint64_t size);
    ZELIO_EXCEPTION_COPY_MEMBERS(MemoryException)
};

using ErrorBlockSize = boost::error_info<MemoryException::TagBlockSize, uint64_t>;

} // namespace Ostrel::Core
