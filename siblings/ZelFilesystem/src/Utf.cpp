// Strict UTF-8 decoding and encoding for the path conversions.
#include "Utf.h"

#include <cstdint>

namespace Ostrel::detail
{
namespace
{

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes one code point at text[i], advancing i; nothing on overlong forms, surrogates,
// values above U+10FFFF or truncated sequences.
std::optional<char32_t> DecodeOne(const std::string& text, size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
    {
        ++i;
        return lead;
    }
    size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0)
    {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    }
    else if ((lead & 0xF0) == 0xE0)
    {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    }
    else if ((lead & 0xF8) == 0xF0)
    {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    }
    else
    {
        return std::nullopt;
    }
    if (text.size() - i < length)
    {
        return std::nullopt;
    }
    for (size_t k = 1; k < length; ++k)
    {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(byte))
        {
            return std::nullopt;
        }
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < smallest || value > kMaxCodePoint || IsSurrogate(value))
    {
        return std::nullopt;
    }
    i += length;
    return value;
}

void EncodeOne(char32_t c, std::string& out)
{
    if (c < 0x80)
    {
        out += static_cast<char>(c);
    }
    else if (c < 0x800)
    {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    else if (c < 0x10000)
    {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendWide(char32_t c, std::wstring& out)
{
    if constexpr (sizeof(wchar_t) >= 4)
    {
        out += static_cast<wchar_t>(c);
    }
    else if (c < 0x10000)
    {
        out += static_cast<wchar_t>(c);
    }
    else
    {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
}

// Reads one code point from wide text at wide[i], advancing i; nothing on a lone surrogate or a
// value that is not a code point.
std::optional<char32_t> NextWide(const std::wstring& wide, size_t& i)
{
    const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[i++]));
    if constexpr (sizeof(wchar_t) < 4)
    {
        if (c >= 0xD800 && c <= 0xDBFF && i < wide.size())
        {
            const auto low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[i]));
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                ++i;
                return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            }
        }
    }
    if (IsSurrogate(c) || c > kMaxCodePoint)
    {
        return std::nullopt;
    }
    return c;
}

} // namespace

std::optional<std::wstring> Utf8ToWide(const std::string& utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
    {
        const auto c = DecodeOne(utf8, i);
        if (!c)
        {
            return std::nullopt;
        }
        AppendWide(*c, out);
    }
    return out;
}

std::optional<std::string> WideToUtf8(const std::wstring& wide)
{
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size();)
    {
        const auto c = NextWide(wide, i);
        if (!c)
        {
            return std::nullopt;
        }
        EncodeOne(*c, out);
    }
    return out;
}

bool IsValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();)
    {
        if (!DecodeOne(text, i))
        {
            return false;
        }
    }
    return true;
}

std::string RepairUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
    {
        const auto c = DecodeOne(text, i);
        EncodeOne(c ? *c : kReplacement, out);
        if (!c)
        {
            ++i;
        }
    }
    return out;
}

std::string RepairWideToUtf8(const std::wstring& wide)
{
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size();)
    {
        const auto c = NextWide(wide, i);
        EncodeOne(c ? *c : kReplacement, out);
    }
    return out;
}

} // namespace Ostrel::detail
