// MD5Generate of a 512 MiB page-cached file through a file input, against the whole command
// `openssl dgst -md5` on the same file in the same run; and where the library's time goes.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/MD5.h>
#include <Ostrel/Core/StreamDigest.h>

#include "support/BenchSupport.h"
#include "utilities/LargeBuffer.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_bench::Comparison;

namespace
{

constexpr uint64_t kFileBytes = 512u << 20;

// The file, written once and removed at exit; writing it leaves it in the page cache.
class CachedFile
{
public:
    CachedFile() : m_path(std::filesystem::temp_directory_path() / ("zelio-md5-" + std::to_string(getpid())))
    {
        std::vector<uint8_t> chunk(1u << 20);
        std::mt19937_64 random(42);
        for (uint8_t& byte : chunk)
        {
            byte = static_cast<uint8_t>(random());
        }
        const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        for (uint64_t written = 0; written < kFileBytes; written += chunk.size())
        {
            std::memcpy(chunk.data(), &written, sizeof written); // no two chunks alike
            if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
            {
                std::perror("writing the benchmark file");
            }
        }
        fdatasync(fd); // so that no write-back runs during the timings
        close(fd);
    }
    ~CachedFile() { std::filesystem::remove(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

const CachedFile& File()
{
    static const CachedFile file;
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

// Runs `openssl dgst -md5 <path>` to its end and returns what it printed.
std::string RunOpenSsl(const std::filesystem::path& path)
{
    int out[2];
    if (pipe(out) != 0)
    {
        return "";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string file = path.string();
    char* argv[] = {const_cast<char*>("openssl"), const_cast<char*>("dgst"), const_cast<char*>("-md5"),
                    file.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, "openssl", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string printed;
    char buffer[256];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
    {
        printed.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    if (spawned == 0)
    {
        waitpid(child, nullptr, 0);
    }
    return printed;
}

void BM_MD5FileAgainstOpenSsl(benchmark::State& state)
{
    const std::filesystem::path& path = File().Path();
    Comparison comparison;
    std::string openssl;
    std::vector<uint8_t> digest;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { openssl = RunOpenSsl(path); });
        comparison.TimeLibrary(1, [&] { digest = MD5Generate(DataInputFile::Create(ioPath(path)), ""); });
    }
    if (openssl.find("= " + Hex(digest)) == std::string::npos)
    {
        state.SkipWithError(("openssl printed " + openssl + ", the library " + Hex(digest)).c_str());
    }
    comparison.Report(state, kFileBytes);
}
BENCHMARK(BM_MD5FileAgainstOpenSsl)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();

double Milliseconds(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The steps of MD5Generate timed one by one: filling a fresh zero-filled buffer without and with
// the large-buffer advice, the one Read of the cached file, and the digest itself. With a pause,
// each fill waits first until memory freed before it has been handed back to the hypervisor (the
// guest reports free memory after about 2 s), so it is fresh to the host as well as to the process.
void BM_MD5FileSteps(benchmark::State& state)
{
    const std::filesystem::path& path = File().Path();
    const auto pause = std::chrono::seconds(state.range(0));
    double plainFill = 0, advisedFill = 0, read = 0, hash = 0;
    for (auto _ : state)
    {
        std::this_thread::sleep_for(pause);
        auto start = std::chrono::steady_clock::now();
        {
            std::vector<uint8_t> plain(kFileBytes);
            benchmark::DoNotOptimize(plain.data());
            plainFill += Milliseconds(start);
        }
        std::this_thread::sleep_for(pause);
        start = std::chrono::steady_clock::now();
        std::vector<uint8_t> bytes;
        bytes.reserve(kFileBytes);
        detail::AdviseLargeBuffer(bytes.data(), kFileBytes);
        bytes.resize(kFileBytes);
        advisedFill += Milliseconds(start);

        auto input = DataInputFile::Create(ioPath(path));
        start = std::chrono::steady_clock::now();
        input->Read(bytes.data(), bytes.size());
        read += Milliseconds(start);

        start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(MD5Generate(bytes, ""));
        hash += Milliseconds(start);
    }
    const double passes = static_cast<double>(state.iterations());
    state.counters["fill_plain_ms"] = plainFill / passes;
    state.counters["fill_advised_ms"] = advisedFill / passes;
    state.counters["read_ms"] = read / passes;
    state.counters["md5_ms"] = hash / passes;
}
BENCHMARK(BM_MD5FileSteps)
    ->ArgName("pause_s")
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace
