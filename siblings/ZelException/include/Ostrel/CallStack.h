// GetCallStack: readable text of the calling thread's stack, for error reports.
#pragma once

#include <Ostrel/ZelExceptionExport.h>

#include <string>

namespace Ostrel
{

// The frames marked by open StackDebugInfo::Descr objects, innermost first, then the native
// frames with their function names where the binary has them. Costs nothing until called; throws
// nothing but std::bad_alloc.
ZELEXCEPTION_API std::string GetCallStack();

} // namespace Ostrel
