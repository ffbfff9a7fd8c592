// Pipe and temporary names, and creation dates, as each platform's system gives them.
#include <Ostrel/ZelIO.h>

#include "support/PortableSupport.h"
#include "support/System.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <string>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

const std::string kUuid = "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}";

// Seconds since 1970-01-01 00:00:00 UTC of "YYYY-MM-DD hh:mm:ss", or -1 when the text is not one.
long long UtcSeconds(const std::string& text)
{
    int year, month, day, hour, minute, second;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &year, &month, &day, &hour,
                                         &minute, &second) != 6)
    {
        return -1;
    }
    // Days from the civil date (proleptic Gregorian), counted from 1970-01-01.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long long days = static_cast<long long>(era) * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

long long NowUtcSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST(PortableNames, PipeNamesAreUniqueRandomUuidsUnderThePipePrefix)
{
    const std::string first = GeneratePipeName();
    const std::string second = GeneratePipeName();
    EXPECT_TRUE(std::regex_match(first, std::regex(R"(\\\\\.\\pipe\\)" + kUuid))) << first;
    EXPECT_TRUE(std::regex_match(second, std::regex(R"(\\\\\.\\pipe\\)" + kUuid))) << second;
    EXPECT_NE(first, second);
}

TEST(PortableNames, TemporaryNameIsAFreeNameInAnExistingFolderBeginningWithAUuid)
{
    const std::filesystem::path path = std::filesystem::u8path(GenerateTempFileName());
    EXPECT_TRUE(std::filesystem::is_directory(path.parent_path())) << path;
    EXPECT_FALSE(std::filesystem::exists(path)) << path;
    const std::string name = path.filename().u8string();
    if (zelio_portable::UnderWine())
    {
        ZELIO_KNOWN_WINE_DIFFERENCE(
            "Wine's _tempnam keeps only the first 3 characters of the prefix (it names the file as "
            "GetTempFileName does); the runtime's documentation has the whole prefix begin the name, as "
            "Windows gives it");
        EXPECT_TRUE(std::regex_search(name, std::regex("^[0-9a-f]{3}"))) << name;
        return;
    }
    EXPECT_TRUE(std::regex_search(name, std::regex("^" + kUuid))) << name;
}

TEST(PortableDates, CreationDateOfANewFileIsNowInUtc)
{
    const zelio_portable::ScratchFolder folder;
    const auto file = folder / "new.bin";
    const long long before = NowUtcSeconds();
    zelio_portable::WriteWholeFile(file, "x");
    const long long after = NowUtcSeconds();
    const std::string date = GetFileCreationDateString(ioPath::FromNative(file.native()));
    const long long created = UtcSeconds(date);
    ASSERT_NE(created, -1) << date;
    // File systems keep times on a coarser clock than the system's: a second either way.
    EXPECT_GE(created, before - 1) << date;
    EXPECT_LE(created, after + 1) << date;

    EXPECT_NE(UtcSeconds(GetFileCreationDateString(ioPath::FromNative(folder.Path().native()))), -1);
    EXPECT_EQ(GetFileCreationDateString(ioPath::FromNative((folder / "missing.bin").native())), "");
}

} // namespace
