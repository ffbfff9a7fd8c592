// JsonException: a failure of JSON handling.
#pragma once

#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API JsonException : public virtual CoreException
{
public:
    ZELIO_EXCEPTION_MEMBERS(JsonException)
};

} // namespace Ostrel::Core
