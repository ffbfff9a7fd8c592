// Helpers shared by the tests.
#include "support/TestSupport.h"

#include <cstdlib>
#include <dirent.h>
#include <stdexcept>

namespace zelio_test
{

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zelio-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
    {
        throw std::runtime_error("cannot make a scratch directory");
    }
    m_path = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::set<int> OpenDescriptors()
{
    std::set<int> descriptors;
    DIR* listing = ::opendir("/proc/self/fd");
    if (listing == nullptr)
    {
        throw std::runtime_error("cannot list the open descriptors");
    }
    for (const dirent* entry; (entry = ::readdir(listing)) != nullptr;)
    {
        if (entry->d_name[0] != '.')
        {
            descriptors.insert(std::atoi(entry->d_name));
        }
    }
    // Not the listing's own descriptor.
    descriptors.erase(::dirfd(listing));
    ::closedir(listing);
    return descriptors;
}

} // namespace zelio_test
