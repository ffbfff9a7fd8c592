// WrongTypeIsRequested: a property asked for as a type it does not have.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/PropertyException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API WrongTypeIsRequested : public PropertyException
{
public:
    ZELIO_EXCEPTION_MEMBERS(WrongTypeIsRequested)
};

} // namespace Ostrel::Core
