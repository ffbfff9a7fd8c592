// JsonException: a failure of JSON handling.
#include <Ostrel/Core/JsonException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(JsonException)

} // namespace Ostrel::Core
