// ComputingResourceException: a failure to obtain a computing resource.
#pragma once

#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ComputingResourceException : public virtual CoreException
{
public:
    ZELIO_EXCEPTION_MEMBERS(ComputingResourceException)
};

} // namespace Ostrel::Core
