// Memory, string and file streams against the copies and runtime calls they are built on.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/DataOutputString.h>

#include "support/BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_bench::Comparison;

namespace
{

constexpr uint64_t kBlock = 4096;
constexpr uint64_t kMemoryBytes = 16u << 20;

// The bare floor of a stream read: copy the source into the caller's block, block after block.
void CopyOutInBlocks(const uint8_t* source, uint64_t size, uint8_t* block)
{
    for (uint64_t offset = 0; offset < size; offset += kBlock)
    {
        std::memcpy(block, source + offset, kBlock);
        benchmark::ClobberMemory();
    }
}

template <class Stream> uint64_t ReadToTheEnd(Stream& stream, uint8_t* block, uint64_t blockSize)
{
    stream->SetPosition(0);
    uint64_t calls = 1;
    while (stream->Read(block, blockSize) != 0)
    {
        benchmark::ClobberMemory();
        ++calls;
    }
    return calls;
}

void BM_MemoryInputRead4K(benchmark::State& state)
{
    std::vector<uint8_t> source(kMemoryBytes, 0x5A);
    std::vector<uint8_t> block(kBlock);
    auto input = DataInputMemory::Create(source.data(), source.size());
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { CopyOutInBlocks(source.data(), source.size(), block.data()); });
        comparison.TimeLibrary(kMemoryBytes / kBlock, [&] { ReadToTheEnd(input, block.data(), kBlock); });
    }
    comparison.Report(state, kMemoryBytes);
}
BENCHMARK(BM_MemoryInputRead4K)->Unit(benchmark::kMillisecond);

void BM_StringInputRead4K(benchmark::State& state)
{
    const std::string source(kMemoryBytes, 'z');
    std::vector<uint8_t> block(kBlock);
    auto input = DataInputString::Create(&source);
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor(
            [&] {
                CopyOutInBlocks(reinterpret_cast<const uint8_t*>(source.data()), source.size(), block.data());
            });
        comparison.TimeLibrary(kMemoryBytes / kBlock, [&] { ReadToTheEnd(input, block.data(), kBlock); });
    }
    comparison.Report(state, kMemoryBytes);
}
BENCHMARK(BM_StringInputRead4K)->Unit(benchmark::kMillisecond);

void BM_StringOutputWrite4K(benchmark::State& state)
{
    const std::vector<uint8_t> block(kBlock, 0x33);
    std::vector<uint8_t> floorTarget(kMemoryBytes);
    std::string target;
    target.reserve(kMemoryBytes);
    auto output = DataOutputString::Create(&target);
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor(
            [&]
            {
                for (uint64_t offset = 0; offset < kMemoryBytes; offset += kBlock)
                {
                    std::memcpy(floorTarget.data() + offset, block.data(), kBlock);
                    benchmark::ClobberMemory();
                }
            });
        // Each pass starts from an empty string that keeps its capacity, so it measures the
        // writes, not the string's first growth.
        output->SetSize(0);
        comparison.TimeLibrary(kMemoryBytes / kBlock,
                               [&]
                               {
                                   for (uint64_t offset = 0; offset < kMemoryBytes; offset += kBlock)
                                   {
                                       output->Write(block.data(), kBlock);
                                       benchmark::ClobberMemory();
                                   }
                               });
    }
    comparison.Report(state, kMemoryBytes);
}
BENCHMARK(BM_StringOutputWrite4K)->Unit(benchmark::kMillisecond);

// A file made once per benchmark and removed after it.
class ScratchFile
{
public:
    explicit ScratchFile(uint64_t size)
        : m_path(std::filesystem::temp_directory_path() / ("zelio-bench-" + std::to_string(getpid())))
    {
        std::FILE* file = std::fopen(m_path.c_str(), "wb");
        std::vector<uint8_t> chunk(1 << 20, 0x42);
        for (uint64_t written = 0; written < size; written += chunk.size())
        {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
        }
        std::fclose(file);
    }
    ~ScratchFile() { std::filesystem::remove(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

void BM_FileInputRead64K(benchmark::State& state)
{
    constexpr uint64_t kFileBytes = 256u << 20;
    constexpr uint64_t kCall = 64u << 10;
    ScratchFile file(kFileBytes);
    std::vector<uint8_t> block(kCall);
    std::FILE* bare = std::fopen(file.Path().c_str(), "rb");
    auto input = DataInputFile::Create(ioPath(file.Path()));
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor(
            [&]
            {
                std::fseek(bare, 0, SEEK_SET);
                while (std::fread(block.data(), 1, kCall, bare) != 0)
                {
                    benchmark::ClobberMemory();
                }
            });
        comparison.TimeLibrary(kFileBytes / kCall, [&] { ReadToTheEnd(input, block.data(), kCall); });
    }
    std::fclose(bare);
    comparison.Report(state, kFileBytes);
}
BENCHMARK(BM_FileInputRead64K)->Unit(benchmark::kMillisecond)->Iterations(8);

void BM_FileOutputWrite4K(benchmark::State& state)
{
    constexpr uint64_t kFileBytes = 64u << 20;
    ScratchFile floorFile(kFileBytes);
    ScratchFile libraryFile(0);
    const std::vector<uint8_t> block(kBlock, 0x61);
    std::FILE* bare = std::fopen(floorFile.Path().c_str(), "r+b");
    auto output = DataOutputFile::Create(ioPath(libraryFile.Path()));
    Comparison comparison;
    for (auto _ : state)
    {
        // Both overwrite a file of the same size in place, flushing after every block.
        comparison.TimeFloor(
            [&]
            {
                std::fseek(bare, 0, SEEK_SET);
                for (uint64_t offset = 0; offset < kFileBytes; offset += kBlock)
                {
                    std::fwrite(block.data(), 1, kBlock, bare);
                    std::fflush(bare);
                }
            });
        comparison.TimeLibrary(kFileBytes / kBlock,
                               [&]
                               {
                                   output->SetPosition(0);
                                   for (uint64_t offset = 0; offset < kFileBytes; offset += kBlock)
                                   {
                                       output->Write(block.data(), kBlock);
                                   }
                               });
    }
    std::fclose(bare);
    comparison.Report(state, kFileBytes);
}
BENCHMARK(BM_FileOutputWrite4K)->Unit(benchmark::kMillisecond)->Iterations(6);

} // namespace
