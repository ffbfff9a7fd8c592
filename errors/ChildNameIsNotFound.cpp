// ChildNameIsNotFound: a child property name that does not exist.
#include <Ostrel/Core/ChildNameIsNotFound.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(ChildNameIsNotFound)

} // namespace Ostrel::Core
