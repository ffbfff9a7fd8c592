// ComparedPropertiesHaveDifferentTypes: two properties of different types compared.
#include <Ostrel/Core/ComparedPropertiesHaveDifferentTypes.h>

#include "errors/ExceptionMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_EXCEPTION_MEMBERS(ComparedPropertiesHaveDifferentTypes)

} // namespace Ostrel::Core
