// ioPath: a file-system path as a value, with exact conversions to UTF-8 and to wide text.
// The path keeps the platform's native form, so a Linux file name that is not valid UTF-8 still
// names its file; only the conversions that cannot be made exactly throw PathConversionError.
// The header does not need <filesystem>: a std::filesystem::path converts to and from the native
// form (ioPath(fsPath), std::filesystem::path(path.native())).
#pragma once

#include <Ostrel/ZelFilesystemExport.h>

#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace Ostrel
{

// Thrown when a path cannot be converted exactly: a narrow name that is not valid UTF-8 asked
// for as text, or wide text holding a lone surrogate or a value that is not a code point.
class ZELFILESYSTEM_API PathConversionError : public std::runtime_error
{
public:
    explicit PathConversionError(const std::string& what);
    ~PathConversionError() override;
};

class ZELFILESYSTEM_API ioPath
{
public:
    // The native form: bytes on POSIX, UTF-16 on Windows, as std::filesystem::path has it.
#if defined(_WIN32)
    using value_type = wchar_t;
#else
    using value_type = char;
#endif
    using string_type = std::basic_string<value_type>;

    ioPath();
    // UTF-8 text. On POSIX the bytes are taken as they are, valid UTF-8 or not.
    ioPath(const std::string& utf8);
    ioPath(const char* utf8);
    // Wide text (UTF-32 where wchar_t has 32 bits, UTF-16 elsewhere); throws PathConversionError
    // when it is not valid.
    ioPath(const std::wstring& wide);
    ioPath(const wchar_t* wide);
    // From a std::filesystem::path, or any path type whose native() gives the native form.
    template <class Path, class = std::enable_if_t<
                              !std::is_same_v<std::decay_t<Path>, ioPath> &&
                              std::is_convertible_v<decltype(std::declval<const Path&>().native()), const string_type&>>>
    ioPath(const Path& path) : ioPath(FromNative(path.native()))
    {
    }
    // The path whose native form is native, taken as it is.
    static ioPath FromNative(string_type native);

    ioPath(const ioPath&);
    ioPath(ioPath&&) noexcept;
    ioPath& operator=(const ioPath&);
    ioPath& operator=(ioPath&&) noexcept;
    ~ioPath();

    // The path without its last component.
    ioPath parent_path() const;
    ioPath operator/(const ioPath& child) const;

    // Creates the directory and all its missing ancestors; false when nothing was created,
    // whether because it already existed or because it could not be made.
    static bool create_directories(const ioPath& path);

    // The path as wide text; throws PathConversionError when the native form is not valid UTF-8.
    std::wstring wstring() const;
    // The path as UTF-8; throws PathConversionError when the native form is not valid UTF-8.
    std::string utf8string() const;
    // The path as UTF-8 for messages: never throws a conversion error; what cannot be converted
    // shows as U+FFFD.
    std::string display_string() const;
    // The native form, which opens the file whatever its name holds.
    const string_type& native() const noexcept;

    bool empty() const noexcept;
    friend ZELFILESYSTEM_API bool operator==(const ioPath& a, const ioPath& b) noexcept;
    friend ZELFILESYSTEM_API bool operator!=(const ioPath& a, const ioPath& b) noexcept;

private:
    string_type m_native;
};

} // namespace Ostrel
