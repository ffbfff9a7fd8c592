// CoreException: the root of the library's exception family. Like every class of the family it is a pure
// marker: what went wrong travels in error-information records (Ostrel/ErrorInfo.h).
#include <Ostrel/Core/CoreException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(CoreException)

} // namespace Ostrel::Core
