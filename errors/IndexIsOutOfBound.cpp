// IndexIsOutOfBound: a property index outside its bounds.
#include <Ostrel/Core/IndexIsOutOfBound.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(IndexIsOutOfBound)

} // namespace Ostrel::Core
