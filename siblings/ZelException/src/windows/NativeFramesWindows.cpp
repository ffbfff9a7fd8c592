// The native frames on Windows: CaptureStackBackTrace, each address placed in its module (the
// module's file name and the address's offset from the module's base), and named from the
// module's exports where it exports the function that holds it.
#include "../NativeFrames.h"

#include "PeExports.h"

#include <Ostrel/Platform/Windows.h>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

#include <cstdlib>
#include <memory>
#include <type_traits>

namespace Ostrel::detail
{
namespace
{

// The longest path Windows has (in UTF-16 units, with its end).
constexpr DWORD kLongestPath = 32768;

std::string Demangled(const std::string& symbol)
{
#if defined(__GNUC__)
    struct FreeDeleter
    {
        void operator()(char* p) const noexcept { std::free(p); }
    };
    int status = 0;
    std::unique_ptr<char, FreeDeleter> name(abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status));
    if (status == 0 && name)
    {
        return name.get();
    }
#endif
    return symbol;
}

std::string Utf8(const wchar_t* text, int length)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
    {
        WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    }
    return utf8;
}

// The module's file name without its folder ("libzelio.dll"), or empty when unknown.
std::string ModuleName(HMODULE module)
{
    // MAX_PATH first, and more only for a name that did not fit.
    std::wstring path;
    DWORD length = 0;
    for (DWORD size = MAX_PATH; size <= kLongestPath; size *= 2)
    {
        path.assign(size, L'\0');
        length = GetModuleFileNameW(module, path.data(), size);
        if (length == 0)
        {
            return {};
        }
        if (length < size)
        {
            break;
        }
    }
    if (length >= path.size())
    {
        return {};
    }
    path.resize(length);
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring base = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return Utf8(base.data(), static_cast<int>(base.size()));
}

NativeFrame Describe(void* returnAddress)
{
    NativeFrame frame;
    // The return address points after the call: one byte back lies inside the calling function.
    const auto address = reinterpret_cast<std::uintptr_t>(returnAddress) - 1;
    frame.offset = address;
    HMODULE module = nullptr;
    // A reference of its own, so that another thread cannot unload the module while its exports
    // are read.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(address), &module) ||
        module == nullptr)
    {
        return frame;
    }
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> held(module, &FreeLibrary);
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    frame.module = ModuleName(module);
    frame.offset = address - base;
    const std::string exported = ExportedFunctionHolding(base, address);
    if (!exported.empty())
    {
        frame.function = Demangled(exported);
    }
    return frame;
}

} // namespace

int CaptureReturnAddresses(void** addresses, int capacity)
{
    return CaptureStackBackTrace(0, static_cast<DWORD>(capacity), addresses, nullptr);
}

NativeFrame DescribeNativeFrame(void* returnAddress)
{
    return Describe(returnAddress);
}

} // namespace Ostrel::detail
