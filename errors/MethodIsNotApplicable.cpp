// MethodIsNotApplicable: a property method applied to a property it does not fit.
#include <Ostrel/Core/MethodIsNotApplicable.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(MethodIsNotApplicable)

} // namespace Ostrel::Core
