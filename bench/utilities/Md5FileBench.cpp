// MD5Generate of a file through a file input, against the whole command `openssl dgst -md5` on the
// same file in the same run: the time for a 512 MiB page-cached file, and the peak memory of each
// (ru_maxrss of a child process that does nothing else) for that file and a 6 GiB sparse file.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/StreamDigest.h>

#include "support/BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_bench::Comparison;

namespace
{

constexpr uint64_t kCachedBytes = 512u << 20;
constexpr uint64_t kSparseBytes = 6ull << 30;
constexpr double kMiB = 1024.0 * 1024.0;

std::filesystem::path ScratchPath(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("zelio-md5-" + name + "-" + std::to_string(getpid()));
}

// A file removed at exit, left in the page cache: the cached one is written whole; the sparse one
// holds a MiB of data at each end and a hole between, and is read once.
class ScratchFile
{
public:
    ScratchFile(const std::string& name, uint64_t size, bool sparse) : m_path(ScratchPath(name))
    {
        std::vector<uint8_t> chunk(1u << 20);
        std::mt19937_64 random(42);
        for (uint8_t& byte : chunk)
        {
            byte = static_cast<uint8_t>(random());
        }
        const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        for (uint64_t offset = 0; offset < size; offset += chunk.size())
        {
            if (sparse && offset != 0 && offset + chunk.size() != size)
            {
                continue;
            }
            std::memcpy(chunk.data(), &offset, sizeof offset); // no two chunks alike
            if (pwrite(fd, chunk.data(), chunk.size(), static_cast<off_t>(offset)) !=
                static_cast<ssize_t>(chunk.size()))
            {
                std::perror("writing the benchmark file");
            }
        }
        fdatasync(fd); // so that no write-back runs during the timings
        close(fd);
        if (sparse)
        {
            WarmUp();
        }
    }
    ~ScratchFile() { std::filesystem::remove(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    // Reads the file once, so that its holes are in the page cache before either side is timed:
    // otherwise the first reader alone pays for them.
    void WarmUp() const
    {
        std::vector<char> buffer(1u << 20);
        const int fd = open(m_path.c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0)
        {
        }
        close(fd);
    }

    std::filesystem::path m_path;
};

const ScratchFile& CachedFile()
{
    static const ScratchFile file("cached", kCachedBytes, false);
    return file;
}

const ScratchFile& SparseFile()
{
    static const ScratchFile file("sparse", kSparseBytes, true);
    return file;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : bytes)
    {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

// What a finished child printed, and its peak resident memory.
struct ChildRun
{
    std::string printed;
    double peakMiB = 0;
};

// Reads the child's output to its end, then reaps it with its resource use.
ChildRun Finish(pid_t child, int output)
{
    ChildRun run;
    char buffer[256];
    for (ssize_t got; (got = read(output, buffer, sizeof buffer)) > 0;)
    {
        run.printed.append(buffer, static_cast<size_t>(got));
    }
    close(output);
    rusage usage{};
    if (child > 0 && wait4(child, nullptr, 0, &usage) == child)
    {
        run.peakMiB = static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
    }
    return run;
}

// `openssl dgst -md5 <path>`, started by fork and exec: a child that shared this process's memory
// until exec (as posix_spawn's may) would report this process's peak as its own.
ChildRun RunOpenSsl(const std::filesystem::path& path)
{
    int out[2];
    if (pipe(out) != 0)
    {
        return {};
    }
    const pid_t child = fork();
    if (child == 0)
    {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execlp("openssl", "openssl", "dgst", "-md5", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    return Finish(child, out[0]);
}

// MD5Generate of the file in a child of this process; with digest false, the child only starts and
// ends, which gives the memory a child of this process holds anyway.
ChildRun RunLibrary(const std::filesystem::path& path, bool digest)
{
    int out[2];
    if (pipe(out) != 0)
    {
        return {};
    }
    const pid_t child = fork();
    if (child == 0)
    {
        close(out[0]);
        const std::string hex = digest ? Hex(MD5Generate(DataInputFile::Create(ioPath(path)), "")) : "";
        const ssize_t written = write(out[1], hex.data(), hex.size());
        _exit(written == static_cast<ssize_t>(hex.size()) ? 0 : 1);
    }
    close(out[1]);
    return Finish(child, out[0]);
}

void CheckSameDigest(benchmark::State& state, const std::string& openssl, const std::string& library)
{
    if (library.empty() || openssl.find("= " + library) == std::string::npos)
    {
        state.SkipWithError(("openssl printed " + openssl + ", the library " + library).c_str());
    }
}

void BM_MD5FileAgainstOpenSsl(benchmark::State& state)
{
    const std::filesystem::path& path = CachedFile().Path();
    Comparison comparison;
    ChildRun openssl;
    std::vector<uint8_t> digest;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { openssl = RunOpenSsl(path); });
        comparison.TimeLibrary(1, [&] { digest = MD5Generate(DataInputFile::Create(ioPath(path)), ""); });
    }
    CheckSameDigest(state, openssl.printed, Hex(digest));
    comparison.Report(state, kCachedBytes);
}
BENCHMARK(BM_MD5FileAgainstOpenSsl)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();

// Peak memory of each side, in MiB: the library's child (and what a child of this process holds
// without digesting anything) against openssl's process. Both read the whole file.
void BM_MD5PeakMemory(benchmark::State& state)
{
    const bool sparse = state.range(0) != 0;
    const std::filesystem::path& path = sparse ? SparseFile().Path() : CachedFile().Path();
    const uint64_t bytes = sparse ? kSparseBytes : kCachedBytes;
    Comparison comparison;
    ChildRun openssl;
    ChildRun library;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { openssl = RunOpenSsl(path); });
        comparison.TimeLibrary(1, [&] { library = RunLibrary(path, true); });
    }
    CheckSameDigest(state, openssl.printed, library.printed);
    comparison.Report(state, bytes);
    state.counters["file_MiB"] = static_cast<double>(bytes) / kMiB;
    state.counters["zelio_peak_MiB"] = library.peakMiB;
    state.counters["idle_child_peak_MiB"] = RunLibrary(path, false).peakMiB;
    state.counters["openssl_peak_MiB"] = openssl.peakMiB;
}
BENCHMARK(BM_MD5PeakMemory)
    ->ArgName("sparse_6GiB")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace
