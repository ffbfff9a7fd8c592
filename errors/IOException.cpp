// IOException: a failure of an input or output.
#include <Ostrel/Core/IOException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(IOException)

} // namespace Ostrel::Core
