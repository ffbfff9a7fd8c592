// CoreException: the root of the library's exception family. Like every class of the family it is a pure
// marker: what went wrong travels in error-information records (Ostrel/ErrorInfo.h).
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Exception.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API CoreException : public virtual Ostrel::Exception
{
public:
    ZELIO_EXCEPTION_MEMBERS(CoreException)
};

} // namespace Ostrel::Core
