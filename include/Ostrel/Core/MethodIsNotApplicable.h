// MethodIsNotApplicable: a property method applied to a property it does not fit.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/PropertyException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API MethodIsNotApplicable : public PropertyException
{
public:
    ZELIO_EXCEPTION_MEMBERS(MethodIsNotApplicable)
};

} // namespace Ostrel::Core
