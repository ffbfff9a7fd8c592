// RtmpException: a failure of RTMP streaming.
#include <Ostrel/Core/RtmpException.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(RtmpException)

} // namespace Ostrel::Core
