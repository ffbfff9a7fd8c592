// ListPipes on Windows: the system's own directory of named pipes, \\.\pipe\, read without opening
// any pipe. Windows tells neither the directions a server offers nor when a pipe was made, and
// names are only ever live there: those fields stay false and 0. Windows lists the pipes of every
// user.
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/PipeListing.h>

#include "errors/Throw.h"

#include <Ostrel/Platform/Windows.h>

#include <algorithm>
#include <cwctype>

namespace Ostrel::Core
{

namespace
{

// The pipe's name in small letters, as names ignore case, in the code page that the pipe
// factories take names in (they open pipes by their ANSI names).
std::string PipeNameOf(const wchar_t* fileName)
{
    std::wstring lower(fileName);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
    const int size = ::WideCharToMultiByte(CP_ACP, 0, lower.c_str(), static_cast<int>(lower.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
    {
        ::WideCharToMultiByte(CP_ACP, 0, lower.c_str(), static_cast<int>(lower.size()), utf8.data(), size,
                              nullptr, nullptr);
    }
    return utf8;
}

// Closes a directory search.
class Search
{
public:
    explicit Search(HANDLE handle) : m_handle(handle) {}
    ~Search()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
        {
            ::FindClose(m_handle);
        }
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

std::vector<PipeInfo> ListPipes(bool)
{
    std::vector<PipeInfo> pipes;
    WIN32_FIND_DATAW found{};
    const Search search(::FindFirstFileW(L"\\\\.\\pipe\\*", &found));
    if (search.Get() == INVALID_HANDLE_VALUE)
    {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
        {
            return pipes;
        }
        ZELIO_THROW_WITH_STACK(IOException() << ErrorDescription("Cannot list the pipe directory")
                                             << ErrorSystemCode(error));
    }
    do
    {
        PipeInfo info;
        info.fileName = PipeNameOf(found.cFileName);
        info.name = "\\\\.\\pipe\\" + info.fileName;
        info.live = true;
        pipes.push_back(std::move(info));
    } while (::FindNextFileW(search.Get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
    {
        ZELIO_THROW_WITH_STACK(IOException() << ErrorDescription("Cannot list the pipe directory")
                                             << ErrorSystemCode(error));
    }
    std::sort(pipes.begin(), pipes.end(),
              [](const PipeInfo& a, const PipeInfo& b) { return a.fileName < b.fileName; });
    return pipes;
}

} // namespace Ostrel::Core
