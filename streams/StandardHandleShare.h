// The process's standard handles as pipe-handle shares. All the standard streams over one standard
// handle share it, so that releasing one never closes it under another; once the last of them has
// closed it, no later stream is made over it, since the system may have given the value to
// another object by then.
#pragma once

#include "pipes/SharedPipeHandle.h"

namespace Ostrel::Core::detail
{

// which: STD_INPUT_HANDLE or STD_OUTPUT_HANDLE. Null when the process has no such handle, or when
// a standard stream has already closed it.
std::shared_ptr<SharedPipeHandle> ShareStandardHandle(DWORD which);

} // namespace Ostrel::Core::detail
