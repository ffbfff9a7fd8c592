// NotEnoughResource: a computing resource that is exhausted.
#pragma once

#include <Ostrel/Core/ComputingResourceException.h>
#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API NotEnoughResource : public ComputingResourceException
{
public:
    ZELIO_EXCEPTION_MEMBERS(NotEnoughResource)
};

} // namespace Ostrel::Core
