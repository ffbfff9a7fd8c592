// Pipe names and temporary file names: a temporary path that is free in $TMPDIR, and names unique
// across threads.
#include <Ostrel/Core/IPCTools.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <regex>
#include <set>
#include <thread>
#include <unistd.h>

using namespace Ostrel::Core;

namespace
{

// Version 4 in the third group, the standard variant (8, 9, a or b) in the fourth.
const std::regex kUuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");

TEST(GenerateTempFileName, IsAFreePathInTheTemporaryDirectoryStartingWithAUuid)
{
    char pattern[] = "/tmp/zelio-ipctools-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("TMPDIR", pattern, 1);

    const std::filesystem::path path = GenerateTempFileName();
    EXPECT_EQ(path.parent_path(), pattern);
    EXPECT_TRUE(std::regex_match(path.filename().string().substr(0, 36), kUuid)) << path;
    EXPECT_FALSE(std::filesystem::exists(path));

    if (previous != nullptr)
    {
        ::setenv("TMPDIR", saved.c_str(), 1);
    }
    else
    {
        ::unsetenv("TMPDIR");
    }
    std::filesystem::remove_all(pattern);
}

TEST(IPCTools, ThreadsCallingBothAtOnceGetDistinctNames)
{
    constexpr int kThreads = 8;
    constexpr int kEach = 250;
    std::mutex mutex;
    std::set<std::string> names;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&]
            {
                std::vector<std::string> mine;
                for (int i = 0; i < kEach; ++i)
                {
                    mine.push_back(GeneratePipeName());
                    mine.push_back(
                        std::filesystem::path(GenerateTempFileName()).filename().string().substr(0, 36));
                }
                std::lock_guard<std::mutex> lock(mutex);
                names.insert(mine.begin(), mine.end());
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(names.size(), 2u * kThreads * kEach);
}

} // namespace
