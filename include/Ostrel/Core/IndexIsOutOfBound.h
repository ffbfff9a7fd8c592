// IndexIsOutOfBound: a property index outside its bounds.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/PropertyException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IndexIsOutOfBound : public PropertyException
{
public:
    ZELIO_EXCEPTION_MEMBERS(IndexIsOutOfBound)
};

} // namespace Ostrel::Core
