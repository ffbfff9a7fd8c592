// ElfSymbols: the function symbols of one ELF module's full symbol table (.symtab), which names
// the module's hidden functions too, unlike the dynamic symbols that dladdr sees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ostrel::detail
{

class ElfSymbols
{
public:
    // Reads the module at path; an empty table when the file is not a 64-bit ELF file, has no
    // .symtab (a stripped module) or cannot be read. Malformed files are read safely.
    static std::shared_ptr<const ElfSymbols> Load(const std::string& path);

    // The mangled name of the function whose range holds the module-relative address, or null.
    const char* Find(std::uintptr_t address) const;

private:
    struct Symbol
    {
        std::uintptr_t start;
        std::uintptr_t size;
        std::uint32_t name;
    };

    void Read(const unsigned char* image, std::size_t length);

    std::vector<Symbol> m_symbols; // sorted by start
    std::string m_names;
};

// The table of the module at path, read once per module and kept for the process. The caller
// holds the table while it uses the names it gives.
std::shared_ptr<const ElfSymbols> CachedElfSymbols(const std::string& path);

} // namespace Ostrel::detail
