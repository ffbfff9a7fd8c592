// Helpers shared by the tests: a scratch directory removed at the end of a test, file contents,
// and the descriptors the process has open.
#pragma once

#include "support/PortableSupport.h"

#include <filesystem>
#include <set>
#include <string>

namespace zelio_test
{

class ScratchDirectory
{
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

using zelio_portable::ReadWholeFile;
using zelio_portable::WriteWholeFile;
// The descriptors open in this process.
std::set<int> OpenDescriptors();

} // namespace zelio_test
