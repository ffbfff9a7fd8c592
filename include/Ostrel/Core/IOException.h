// IOException: a failure of an input or output. A refused seek carries the position asked for.
#pragma once

#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/exception/error_info.hpp>

#include <cstdint>

namespace Ostrel::Core
{

class ZELIO_API IOException : public virtual CoreException
{
public:
    struct TagSeek; // the position that a SetPosition call asked for and that was refused

    ZELIO_EXCEPTION_MEMBERS(IOException)
};

using ErrorSeek = boost::error_info<IOException::TagSeek, uint64_t>;

} // namespace Ostrel::Core
