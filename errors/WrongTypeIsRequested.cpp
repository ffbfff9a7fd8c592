// WrongTypeIsRequested: a property asked for as a type it does not have.
#include <Ostrel/Core/WrongTypeIsRequested.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(WrongTypeIsRequested)

} // namespace Ostrel::Core
