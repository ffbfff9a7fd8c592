// ioPath: a path value in the native form, with strict text conversions; the path operations go
// through std::filesystem.
#include <Ostrel/ioPath.h>

#include "Utf.h"

#include <filesystem>
#include <new>

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

// The native form of UTF-8 text: its bytes on POSIX, UTF-16 on Windows.
[[maybe_unused]] void Utf8ToNative(const std::string& utf8, std::string& native)
{
    native = utf8;
}

[[maybe_unused]] void Utf8ToNative(const std::string& utf8, std::wstring& native)
{
    native = NativeToWide(utf8);
}

// The native form of wide text, which must be valid.
[[maybe_unused]] void WideToNative(const std::wstring& wide, std::string& native)
{
    auto utf8 = detail::WideToUtf8(wide);
    if (!utf8)
    {
        throw PathConversionError("ioPath: the wide name holds a lone surrogate or an invalid code point");
    }
    native = std::move(*utf8);
}

[[maybe_unused]] void WideToNative(const std::wstring& wide, std::wstring& native)
{
    if (!detail::WideToUtf8(wide))
    {
        throw PathConversionError("ioPath: the wide name holds a lone surrogate or an invalid code point");
    }
    native = wide;
}

std::filesystem::path AsFilesystemPath(const ioPath::string_type& native)
{
    return std::filesystem::path(native);
}

} // namespace

PathConversionError::PathConversionError(const std::string& what) : std::runtime_error(what) {}
PathConversionError::~PathConversionError() = default;

ioPath::ioPath() = default;
ioPath::ioPath(const std::string& utf8)
{
    Utf8ToNative(utf8, m_native);
}
ioPath::ioPath(const char* utf8) : ioPath(std::string(utf8)) {}
ioPath::ioPath(const std::wstring& wide)
{
    WideToNative(wide, m_native);
}
ioPath::ioPath(const wchar_t* wide) : ioPath(std::wstring(wide)) {}
ioPath::ioPath(const ioPath&) = default;
ioPath::ioPath(ioPath&&) noexcept = default;
ioPath& ioPath::operator=(const ioPath&) = default;
ioPath& ioPath::operator=(ioPath&&) noexcept = default;
ioPath::~ioPath() = default;

ioPath ioPath::FromNative(string_type native)
{
    ioPath path;
    path.m_native = std::move(native);
    return path;
}

ioPath ioPath::parent_path() const
{
    return FromNative(AsFilesystemPath(m_native).parent_path().native());
}

ioPath ioPath::operator/(const ioPath& child) const
{
    return FromNative((AsFilesystemPath(m_native) / AsFilesystemPath(child.m_native)).native());
}

bool ioPath::create_directories(const ioPath& path)
{
    if (path.empty())
    {
        return false;
    }
    std::error_code error;
    return std::filesystem::create_directories(AsFilesystemPath(path.m_native), error);
}

std::wstring ioPath::wstring() const
{
    return NativeToWide(m_native);
}

std::string ioPath::utf8string() const
{
    return NativeToUtf8(m_native);
}

std::string ioPath::display_string() const
{
    return NativeToDisplay(m_native);
}

const ioPath::string_type& ioPath::native() const noexcept
{
    return m_native;
}

bool ioPath::empty() const noexcept
{
    return m_native.empty();
}

bool operator==(const ioPath& a, const ioPath& b) noexcept
{
    if (a.m_native == b.m_native)
    {
        return true;
    }
    // Compared as paths: "a//b" and "a/b" name the same file.
    try
    {
        return AsFilesystemPath(a.m_native) == AsFilesystemPath(b.m_native);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

bool operator!=(const ioPath& a, const ioPath& b) noexcept
{
    return !(a == b);
}

} // namespace Ostrel
