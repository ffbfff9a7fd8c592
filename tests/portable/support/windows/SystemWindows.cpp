// The system facts of the portable tests on Windows.
#include "support/System.h"

#include <Ostrel/Platform/Windows.h>
#include <winioctl.h>

#include <string>

namespace zelio_portable
{

std::filesystem::path ProgramFolder()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).parent_path();
}

std::filesystem::path HelperProgram()
{
    return ProgramFolder() / "portable_test_helper.exe";
}

// Wine's ntdll has a function of its own that tells its version.
bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool MakeSparse(const std::filesystem::path& file)
{
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    DWORD returned = 0;
    const BOOL sparse = DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    return sparse != FALSE;
}

} // namespace zelio_portable
