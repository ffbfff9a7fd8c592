// IONotReadyException: an input or output that is not ready.
#include <Ostrel/Core/IONotReadyException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(IONotReadyException)

} // namespace Ostrel::Core
