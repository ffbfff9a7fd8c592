// PropertyException: a failure of property handling.
#include <Ostrel/Core/PropertyException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(PropertyException)

} // namespace Ostrel::Core
