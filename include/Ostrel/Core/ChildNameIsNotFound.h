// ChildNameIsNotFound: a child property name that does not exist.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/PropertyException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ChildNameIsNotFound : public PropertyException
{
public:
    ZELIO_EXCEPTION_MEMBERS(ChildNameIsNotFound)
};

} // namespace Ostrel::Core
