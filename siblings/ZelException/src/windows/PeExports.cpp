// PeExports: reads a loaded module's export directory, whose offsets the loader has already
// checked when it mapped the module.
#include "PeExports.h"

#include <Ostrel/Platform/Windows.h>

namespace Ostrel::detail
{
namespace
{

template <class T> const T* At(std::uintptr_t base, DWORD rva)
{
    return reinterpret_cast<const T*>(base + rva);
}

const IMAGE_DATA_DIRECTORY* ExportDirectoryEntry(std::uintptr_t base)
{
    const auto* dos = At<IMAGE_DOS_HEADER>(base, 0);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
    {
        return nullptr;
    }
    const auto* nt = At<IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT)
    {
        return nullptr;
    }
    const IMAGE_DATA_DIRECTORY* entry = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    return entry->VirtualAddress != 0 && entry->Size != 0 ? entry : nullptr;
}

// The start, relative to the module, of the function that holds the address, from the module's
// unwind table; 0 when the table has no entry for it.
DWORD FunctionStart(std::uintptr_t moduleBase, std::uintptr_t address)
{
    DWORD64 imageBase = 0;
    const RUNTIME_FUNCTION* function = RtlLookupFunctionEntry(address, &imageBase, nullptr);
    if (function == nullptr || imageBase != moduleBase)
    {
        return 0;
    }
    return function->BeginAddress;
}

} // namespace

std::string ExportedFunctionHolding(std::uintptr_t moduleBase, std::uintptr_t address)
{
    const DWORD start = FunctionStart(moduleBase, address);
    const IMAGE_DATA_DIRECTORY* entry = start != 0 ? ExportDirectoryEntry(moduleBase) : nullptr;
    if (entry == nullptr)
    {
        return {};
    }
    const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(moduleBase, entry->VirtualAddress);
    const auto* functions = At<DWORD>(moduleBase, exports->AddressOfFunctions);
    const auto* names = At<DWORD>(moduleBase, exports->AddressOfNames);
    const auto* ordinals = At<WORD>(moduleBase, exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    {
        const WORD ordinal = ordinals[i];
        if (ordinal < exports->NumberOfFunctions && functions[ordinal] == start)
        {
            return At<char>(moduleBase, names[i]);
        }
    }
    return {};
}

} // namespace Ostrel::detail
