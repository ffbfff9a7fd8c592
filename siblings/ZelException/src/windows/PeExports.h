// PeExports: the name a loaded module exports for the function that holds an address. The
// module's unwind table gives the start of the function that holds the address; the function is
// named only when the module exports a name at exactly that start, so a name never belongs to a
// neighbouring function.
#pragma once

#include <cstdint>
#include <string>

namespace Ostrel::detail
{

// The exported (mangled) name of the function that holds the address in the module loaded at
// moduleBase, or empty when the module exports none for it.
std::string ExportedFunctionHolding(std::uintptr_t moduleBase, std::uintptr_t address);

} // namespace Ostrel::detail
