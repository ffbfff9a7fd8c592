// File times: FileTimeToSystemTime exact in UTC from 1601 on, and GetFileAttributesExW's answers
// for files, directories and missing paths.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

using namespace PlatformTest;

namespace
{

FILETIME FromTicks(std::uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t Ticks(const FILETIME& time)
{
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

struct Expected
{
    std::uint64_t ticks;
    WORD year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

TEST(FileTime, SystemTimeIsExactInUtc)
{
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;
    constexpr std::uint64_t kSecond = 10000000ull;
    const Expected cases[] = {
        {0, 1601, 1, 1, 1, 0, 0, 0, 0},
        {kUnixEpoch, 1970, 1, 4, 1, 0, 0, 0, 0},
        // 2000-02-29 23:59:59.999, a leap day of a century year divisible by 400
        {kUnixEpoch + 951868799ull * kSecond + 9990000, 2000, 2, 2, 29, 23, 59, 59, 999},
        // 2021-03-07 09:05:01 UTC
        {kUnixEpoch + 1615107901ull * kSecond, 2021, 3, 0, 7, 9, 5, 1, 0},
        // 2100-03-01, after a century year that is not a leap year
        {kUnixEpoch + 4107542400ull * kSecond, 2100, 3, 1, 1, 0, 0, 0, 0},
        // The largest time Win32 converts.
        {0x7FFFFFFFFFFFFFFFull, 30828, 9, 4, 14, 2, 48, 5, 477},
    };
    for (const Expected& expected : cases)
    {
        SCOPED_TRACE(expected.ticks);
        const FILETIME time = FromTicks(expected.ticks);
        SYSTEMTIME system{};
        ASSERT_TRUE(FileTimeToSystemTime(&time, &system));
        EXPECT_EQ(system.wYear, expected.year);
        EXPECT_EQ(system.wMonth, expected.month);
        EXPECT_EQ(system.wDayOfWeek, expected.dayOfWeek);
        EXPECT_EQ(system.wDay, expected.day);
        EXPECT_EQ(system.wHour, expected.hour);
        EXPECT_EQ(system.wMinute, expected.minute);
        EXPECT_EQ(system.wSecond, expected.second);
        EXPECT_EQ(system.wMilliseconds, expected.milliseconds);
    }
    const FILETIME tooLarge = FromTicks(0x8000000000000000ull);
    SYSTEMTIME system{};
    EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &system));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FileTime, AttributesOfAFreshFileAndADirectory)
{
    const std::string directory = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/attributes";
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    const std::string file = directory + "/fresh \xC3\xA9.txt";
    std::ofstream(file) << "12345";
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto nowTicks =
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 10 +
        116444736000000000ull;

    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring wideDirectory(directory.begin(), directory.end());
    ASSERT_TRUE(
        GetFileAttributesExW((wideDirectory + L"/fresh \u00E9.txt").c_str(), GetFileExInfoStandard, &data))
        << GetLastError();
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes & 0x10, 0u);
    const std::uint64_t created = Ticks(data.ftCreationTime);
    const std::uint64_t tenSeconds = 100000000ull;
    EXPECT_LT(created > nowTicks ? created - nowTicks : nowTicks - created, tenSeconds);
    EXPECT_LE(created, Ticks(data.ftLastWriteTime));

    ASSERT_TRUE(GetFileAttributesExW(wideDirectory.c_str(), GetFileExInfoStandard, &data));
    EXPECT_NE(data.dwFileAttributes & 0x10, 0u);
}

TEST(FileTime, MissingPathsAndBadArgumentsFail)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_FALSE(GetFileAttributesExW(L"/no/such/file", GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(GetFileAttributesExW(L"", GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(GetFileAttributesExW(L"/", GetFileExMaxInfoLevel, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    const wchar_t notACodePoint[] = {L'/', static_cast<wchar_t>(0xD800), L'\0'};
    EXPECT_FALSE(GetFileAttributesExW(notACodePoint, GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

} // namespace
