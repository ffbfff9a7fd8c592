// PipeHandle: the system's handle of a pipe or of a standard handle, as the factories that wrap an
// existing handle take it. It is the Win32 HANDLE on Windows (the same type), and a handle of the
// library's own Win32 layer elsewhere.
#pragma once

namespace Ostrel::Core
{

using PipeHandle = void*;

} // namespace Ostrel::Core
