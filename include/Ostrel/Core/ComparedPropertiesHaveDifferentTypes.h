// ComparedPropertiesHaveDifferentTypes: two properties of different types compared.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/PropertyException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ComparedPropertiesHaveDifferentTypes : public PropertyException
{
public:
    ZELIO_EXCEPTION_MEMBERS(ComparedPropertiesHaveDifferentTypes)
};

} // namespace Ostrel::Core
