// NotEnoughResource: a computing resource that is exhausted.
#include <Ostrel/Core/NotEnoughResource.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(NotEnoughResource)

} // namespace Ostrel::Core
