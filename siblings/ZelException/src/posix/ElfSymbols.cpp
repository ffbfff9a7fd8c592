// ElfSymbols: reads the function symbols of an ELF module's .symtab, checking every offset
// against the file's length before it is used.
#include "ElfSymbols.h"

#include <algorithm>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::detail
{
namespace
{

// True when [offset, offset + count * size) lies inside a file of the given length.
bool Fits(std::size_t length, std::uint64_t offset, std::uint64_t count, std::uint64_t size)
{
    if (offset > length || size == 0)
    {
        return count == 0 && offset <= length;
    }
    return count <= (length - offset) / size;
}

// A read-only mapping of a whole file, unmapped when it goes.
class MappedFile
{
public:
    explicit MappedFile(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
        {
            return;
        }
        struct stat info{};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        {
            void* image = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (image != MAP_FAILED)
            {
                m_image = static_cast<const unsigned char*>(image);
                m_length = static_cast<std::size_t>(info.st_size);
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (m_image != nullptr)
        {
            ::munmap(const_cast<unsigned char*>(m_image), m_length);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const unsigned char* Image() const noexcept { return m_image; }
    std::size_t Length() const noexcept { return m_length; }

private:
    const unsigned char* m_image = nullptr;
    std::size_t m_length = 0;
};

template <class T> T ReadAt(const unsigned char* image, std::uint64_t offset)
{
    T value;
    std::memcpy(&value, image + offset, sizeof value);
    return value;
}

} // namespace

std::shared_ptr<const ElfSymbols> ElfSymbols::Load(const std::string& path)
{
    auto symbols = std::make_shared<ElfSymbols>();
    const MappedFile file(path);
    if (file.Image() != nullptr)
    {
        symbols->Read(file.Image(), file.Length());
    }
    return symbols;
}

void ElfSymbols::Read(const unsigned char* image, std::size_t length)
{
    if (length < sizeof(Elf64_Ehdr) || std::memcmp(image, ELFMAG, SELFMAG) != 0 || image[EI_CLASS] != ELFCLASS64)
    {
        return;
    }
    const auto header = ReadAt<Elf64_Ehdr>(image, 0);
    if (header.e_shentsize != sizeof(Elf64_Shdr) || !Fits(length, header.e_shoff, header.e_shnum, sizeof(Elf64_Shdr)))
    {
        return;
    }
    for (std::uint16_t i = 0; i < header.e_shnum; ++i)
    {
        const auto section = ReadAt<Elf64_Shdr>(image, header.e_shoff + std::uint64_t{i} * sizeof(Elf64_Shdr));
        if (section.sh_type != SHT_SYMTAB || section.sh_link >= header.e_shnum)
        {
            continue;
        }
        const auto names = ReadAt<Elf64_Shdr>(image, header.e_shoff + std::uint64_t{section.sh_link} * sizeof(Elf64_Shdr));
        const std::uint64_t count = section.sh_entsize == sizeof(Elf64_Sym) ? section.sh_size / sizeof(Elf64_Sym) : 0;
        if (!Fits(length, section.sh_offset, count, sizeof(Elf64_Sym)) || !Fits(length, names.sh_offset, names.sh_size, 1))
        {
            return;
        }
        m_names.assign(reinterpret_cast<const char*>(image + names.sh_offset), names.sh_size);
        m_names.push_back('\0'); // a last name without its terminator still ends
        for (std::uint64_t k = 0; k < count; ++k)
        {
            const auto symbol = ReadAt<Elf64_Sym>(image, section.sh_offset + k * sizeof(Elf64_Sym));
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF || symbol.st_size == 0 ||
                symbol.st_name >= names.sh_size)
            {
                continue;
            }
            m_symbols.push_back(Symbol{symbol.st_value, symbol.st_size, symbol.st_name});
        }
        std::sort(m_symbols.begin(), m_symbols.end(),
                  [](const Symbol& a, const Symbol& b) { return a.start < b.start; });
        return;
    }
}

const char* ElfSymbols::Find(std::uintptr_t address) const
{
    auto after = std::upper_bound(m_symbols.begin(), m_symbols.end(), address,
                                  [](std::uintptr_t value, const Symbol& symbol) { return value < symbol.start; });
    // Aliases (a constructor's two names, say) share a start: a few steps back cover them.
    constexpr int kAliasSteps = 8;
    for (int step = 0; step < kAliasSteps && after != m_symbols.begin(); ++step)
    {
        --after;
        if (address - after->start < after->size)
        {
            return m_names.c_str() + after->name;
        }
    }
    return nullptr;
}

namespace
{

// The tables read so far, one per module, for the life of the process.
struct SymbolCache
{
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const ElfSymbols>> tables;
};

SymbolCache& Cache()
{
    static SymbolCache cache;
    static const int registered = ::pthread_atfork(nullptr, nullptr,
                                                   []
                                                   {
                                                       // A child forked while another thread held
                                                       // the lock starts with a free one.
                                                       new (&Cache().mutex) std::mutex;
                                                   });
    (void)registered;
    return cache;
}

} // namespace

std::shared_ptr<const ElfSymbols> CachedElfSymbols(const std::string& path)
{
    SymbolCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    auto found = cache.tables.find(path);
    if (found != cache.tables.end())
    {
        return found->second;
    }
    auto symbols = ElfSymbols::Load(path);
    cache.tables.emplace(path, symbols);
    return symbols;
}

} // namespace Ostrel::detail
