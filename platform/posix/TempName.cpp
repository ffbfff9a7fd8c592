// _tempnam: a free path in the temporary directory, made of a prefix and a random suffix.
#include <Ostrel/Platform/posix/Win32Api.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>

namespace
{

constexpr int kAttempts = 100;
constexpr std::size_t kSuffixLength = 8;

bool NamesDirectory(const char* path)
{
    struct stat status
    {
    };
    return path != nullptr && path[0] != '\0' && ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

std::string ChooseDirectory(const char* dir)
{
    const char* tmpdir = std::getenv("TMPDIR");
    std::string directory = NamesDirectory(tmpdir) ? tmpdir : NamesDirectory(dir) ? dir : "/tmp";
    while (directory.size() > 1 && directory.back() == '/')
    {
        directory.pop_back();
    }
    return directory;
}

bool RandomSuffix(std::string& suffix)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kSuffixLength];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
    {
        return false;
    }
    suffix.clear();
    for (const unsigned char byte : bytes)
    {
        suffix += alphabet[byte % (sizeof alphabet - 1)];
    }
    return true;
}

char* CopyToMalloc(const std::string& text)
{
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr)
    {
        std::memcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

} // namespace

char* Ostrel::Platform::Win32::_tempnam(const char* dir, const char* prefix)
{
    if (prefix == nullptr)
    {
        prefix = "";
    }
    // The prefix starts a file name: it cannot lead into another directory.
    if (std::strchr(prefix, '/') != nullptr)
    {
        errno = EINVAL;
        return nullptr;
    }
    try
    {
        const std::string stem = ChooseDirectory(dir) + "/" + prefix;
        std::string suffix;
        for (int attempt = 0; attempt < kAttempts; ++attempt)
        {
            if (!RandomSuffix(suffix))
            {
                return nullptr;
            }
            const std::string path = stem + suffix;
            struct stat status
            {
            };
            if (::lstat(path.c_str(), &status) != 0 && errno == ENOENT)
            {
                return CopyToMalloc(path);
            }
        }
        errno = EEXIST;
        return nullptr;
    }
    catch (const std::bad_alloc&)
    {
        errno = ENOMEM;
        return nullptr;
    }
}
