// PropertyException: a failure of property handling.
#pragma once

#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API PropertyException : public virtual CoreException
{
public:
    ZELIO_EXCEPTION_MEMBERS(PropertyException)
};

} // namespace Ostrel::Core
