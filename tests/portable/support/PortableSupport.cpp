// Helpers shared by the portable tests.
#include "support/PortableSupport.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace zelio_portable
{

ScratchFolder::ScratchFolder()
{
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        const auto candidate =
            base / ("zelio-portable-" + std::to_string(random()) + std::to_string(random()));
        if (std::filesystem::create_directory(candidate))
        {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<uint8_t> Pattern(uint64_t size, uint64_t offset)
{
    std::vector<uint8_t> bytes(size);
    for (uint64_t i = 0; i < size; ++i)
    {
        bytes[i] = PatternByte(offset + i);
    }
    return bytes;
}

} // namespace zelio_portable
