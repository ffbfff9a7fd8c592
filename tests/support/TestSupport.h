// Helpers shared by the tests: a scratch directory removed at the end of a test, file contents,
// and the descriptors the process has open.
#pragma once

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

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& content);
// The descriptors open in this process.
std::set<int> OpenDescriptors();

} // namespace zelio_test
