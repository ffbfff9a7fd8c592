// ioPath: a path value over std::filesystem::path with strict text conversions.
#include <Ostrel/ioPath.h>

#include "Utf.h"

#include <system_error>

namespace Ostrel
{
namespace
{

// The native form is narrow bytes on POSIX and UTF-16 on Windows; the overload of the other form
// is unused on each.
[[maybe_unused]] std::string NativeToUtf8(const std::string& native)
{
    if (!detail::IsValidUtf8(native))
    {
        throw PathConversionError("ioPath: the name is not valid UTF-8");
    }
    return native;
}

[[maybe_unused]] std::string NativeToUtf8(const std::wstring& native)
{
    auto utf8 = detail::WideToUtf8(native);
    if (!utf8)
    {
        throw PathConversionError("ioPath: the wide name holds a lone surrogate");
    }
    return *utf8;
}

[[maybe_unused]] std::wstring NativeToWide(const std::string& native)
{
    auto wide = detail::Utf8ToWide(native);
    if (!wide)
    {
        throw PathConversionError("ioPath: the name is not valid UTF-8 and has no wide form");
    }
    return *wide;
}

[[maybe_unused]] std::wstring NativeToWide(const std::wstring& native)
{
    return native;
}

[[maybe_unused]] std::string NativeToDisplay(const std::string& native)
{
    return detail::RepairUtf8(native);
}

[[maybe_unused]] std::string NativeToDisplay(const std::wstring& native)
{
    return detail::RepairWideToUtf8(native);
}

std::filesystem::path FromUtf8(const std::string& utf8)
{
    return std::filesystem::u8path(utf8);
}

std::filesystem::path FromWide(const std::wstring& wide)
{
    const auto utf8 = detail::WideToUtf8(wide);
    if (!utf8)
    {
        throw PathConversionError("ioPath: the wide name holds a lone surrogate or an invalid code point");
    }
    return std::filesystem::u8path(*utf8);
}

} // namespace

PathConversionError::PathConversionError(const std::string& what) : std::runtime_error(what) {}
PathConversionError::~PathConversionError() = default;

ioPath::ioPath() = default;
ioPath::ioPath(const std::string& utf8) : m_path(FromUtf8(utf8)) {}
ioPath::ioPath(const char* utf8) : m_path(FromUtf8(utf8)) {}
ioPath::ioPath(const std::wstring& wide) : m_path(FromWide(wide)) {}
ioPath::ioPath(const wchar_t* wide) : m_path(FromWide(wide)) {}
ioPath::ioPath(const std::filesystem::path& native) : m_path(native) {}
ioPath::ioPath(const ioPath&) = default;
ioPath::ioPath(ioPath&&) noexcept = default;
ioPath& ioPath::operator=(const ioPath&) = default;
ioPath& ioPath::operator=(ioPath&&) noexcept = default;
ioPath::~ioPath() = default;

ioPath ioPath::parent_path() const
{
    return ioPath(m_path.parent_path());
}

ioPath ioPath::operator/(const ioPath& child) const
{
    return ioPath(m_path / child.m_path);
}

bool ioPath::create_directories(const ioPath& path)
{
    if (path.empty())
    {
        return false;
    }
    std::error_code error;
    return std::filesystem::create_directories(path.m_path, error);
}

std::wstring ioPath::wstring() const
{
    return NativeToWide(m_path.native());
}

std::string ioPath::utf8string() const
{
    return NativeToUtf8(m_path.native());
}

std::string ioPath::display_string() const
{
    return NativeToDisplay(m_path.native());
}

const std::filesystem::path& ioPath::native_path() const noexcept
{
    return m_path;
}

bool ioPath::empty() const noexcept
{
    return m_path.empty();
}

bool operator==(const ioPath& a, const ioPath& b) noexcept
{
    return a.m_path == b.m_path;
}

bool operator!=(const ioPath& a, const ioPath& b) noexcept
{
    return !(a == b);
}

} // namespace Ostrel
