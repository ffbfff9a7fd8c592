// ComputingResourceException: a failure to obtain a computing resource.
#include <Ostrel/Core/ComputingResourceException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(ComputingResourceException)

} // namespace Ostrel::Core
