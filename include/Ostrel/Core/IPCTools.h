// Unique names for inter-process communication: a new named pipe's name and a new temporary
// file's path, both made from a random version-4 UUID.
#pragma once

#include <Ostrel/ZelIOExport.h>

#include <string>

namespace Ostrel::Core
{

// "\\.\pipe\" followed by a fresh UUID text: 45 characters.
ZELIO_API std::string GeneratePipeName();
// A path in the temporary directory whose file name begins with a fresh UUID text; no file exists
// there when it is returned, and none is created.
ZELIO_API std::string GenerateTempFileName();

} // namespace Ostrel::Core
