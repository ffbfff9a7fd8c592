// PipeName: parsing, escaping and hashing of pipe names.
#include "PipeName.h"

#include <cstdint>
#include <cstring>
#include <sys/un.h>

namespace Ostrel::Platform
{

namespace
{

constexpr char kPrefix[] = "\\\\.\\pipe\\";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
constexpr std::size_t kMaxNameLength = 256;
// sun_path less its terminating zero.
constexpr std::size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool KeepsAsItIs(char c, bool first)
{
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
    {
        return true;
    }
    return c == '.' && !first;
}

std::string Escape(const std::string& folded)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(folded.size());
    for (std::size_t i = 0; i < folded.size(); ++i)
    {
        const char c = folded[i];
        if (KeepsAsItIs(c, i == 0))
        {
            escaped += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        escaped += '%';
        escaped += hex[byte >> 4];
        escaped += hex[byte & 0xF];
    }
    return escaped;
}

std::string Hashed(const std::string& folded)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : folded)
    {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    static const char hex[] = "0123456789abcdef";
    std::string name = "~";
    for (int shift = 60; shift >= 0; shift -= 4)
    {
        name += hex[(hash >> shift) & 0xF];
    }
    return name;
}

} // namespace

bool PipeName::Parse(const char* text, PipeName& name)
{
    if (text == nullptr)
    {
        return false;
    }
    const std::size_t length = std::strlen(text);
    if (length <= kPrefixLength || length > kMaxNameLength)
    {
        return false;
    }
    for (std::size_t i = 0; i < kPrefixLength; ++i)
    {
        if (FoldCase(text[i]) != kPrefix[i])
        {
            return false;
        }
    }
    name.m_folded.clear();
    for (std::size_t i = kPrefixLength; i < length; ++i)
    {
        name.m_folded += FoldCase(text[i]);
    }
    return true;
}

std::string PipeName::FileNameIn(const std::string& directory) const
{
    std::string fileName = Escape(m_folded);
    if (directory.size() + 1 + fileName.size() <= kMaxSocketPath)
    {
        return fileName;
    }
    fileName = Hashed(m_folded);
    if (directory.size() + 1 + fileName.size() <= kMaxSocketPath)
    {
        return fileName;
    }
    return {};
}

} // namespace Ostrel::Platform
