// The native frames on glibc: backtrace(), each address placed in its module with dladdr1, and
// named from the module's full symbol table, or from its dynamic symbols when it is stripped.
#include "../NativeFrames.h"

#include "ElfSymbols.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <execinfo.h>
#include <link.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace Ostrel::detail
{
namespace
{

struct FreeDeleter
{
    void operator()(char* p) const noexcept { std::free(p); }
};

std::string Demangled(const char* symbol)
{
    int status = 0;
    std::unique_ptr<char, FreeDeleter> name(abi::__cxa_demangle(symbol, nullptr, nullptr, &status));
    return status == 0 && name ? std::string(name.get()) : std::string(symbol);
}

const char* BaseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

bool IsMainProgram(const link_map* module)
{
    return module->l_name == nullptr || module->l_name[0] == '\0';
}

// The dynamic symbol that holds the address, for a module without a full symbol table: dladdr
// alone names the nearest exported symbol below, which may belong to another function.
const char* DynamicSymbolHolding(std::uintptr_t address)
{
    Dl_info info{};
    ElfW(Sym)* symbol = nullptr;
    if (dladdr1(reinterpret_cast<void*>(address), &info, reinterpret_cast<void**>(&symbol), RTLD_DL_SYMENT) == 0 ||
        symbol == nullptr || info.dli_sname == nullptr || info.dli_saddr == nullptr)
    {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    return address - start < symbol->st_size ? info.dli_sname : nullptr;
}

NativeFrame Describe(void* returnAddress)
{
    NativeFrame frame;
    // The return address points after the call: one byte back lies inside the calling function.
    const auto address = reinterpret_cast<std::uintptr_t>(returnAddress) - 1;
    frame.offset = address;
    Dl_info info{};
    link_map* module = nullptr;
    if (dladdr1(reinterpret_cast<void*>(address), &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        module == nullptr)
    {
        return frame;
    }
    const bool mainProgram = IsMainProgram(module);
    const char* shownPath = mainProgram ? info.dli_fname : module->l_name;
    frame.module = BaseName(shownPath != nullptr ? shownPath : "?");
    frame.offset = address - module->l_addr;
    const std::shared_ptr<const ElfSymbols> symbols = CachedElfSymbols(mainProgram ? "/proc/self/exe" : module->l_name);
    const char* name = symbols->Find(frame.offset);
    if (name == nullptr)
    {
        name = DynamicSymbolHolding(address);
    }
    if (name != nullptr)
    {
        frame.function = Demangled(name);
    }
    return frame;
}

} // namespace

int CaptureReturnAddresses(void** addresses, int capacity)
{
    return backtrace(addresses, capacity);
}

NativeFrame DescribeNativeFrame(void* returnAddress)
{
    return Describe(returnAddress);
}

} // namespace Ostrel::detail
