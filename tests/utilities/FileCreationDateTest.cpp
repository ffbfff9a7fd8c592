// A file's creation date as UTC text: 19 characters near now for a new file or directory, whatever
// the time zone and whatever bytes its name holds; empty for a missing path.
#include <Ostrel/Core/FileCreationDate.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

using Ostrel::ioPath;
using Ostrel::Core::GetFileCreationDateString;
using zelio_test::ScratchDirectory;

namespace
{

// Seconds between the text, read as UTC, and now.
long SecondsFromNow(const std::string& text)
{
    std::tm parts{};
    EXPECT_NE(::strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parts), nullptr) << text;
    return std::labs(static_cast<long>(::timegm(&parts) - std::time(nullptr)));
}

TEST(FileCreationDate, NewFileGivesNowInUtcWhateverTheTimeZone)
{
    ScratchDirectory dir;
    zelio_test::WriteWholeFile(dir / "new \xC3\xA9.txt", "x");
    for (const char* zone : {"UTC", "Pacific/Kiritimati", "America/Los_Angeles", "XYZ+11"})
    {
        SCOPED_TRACE(zone);
        ::setenv("TZ", zone, 1);
        ::tzset();
        const std::string text = GetFileCreationDateString(ioPath(dir / "new \xC3\xA9.txt"));
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << text;
        EXPECT_LT(SecondsFromNow(text), 10) << text;
    }
    ::unsetenv("TZ");
    ::tzset();
}

TEST(FileCreationDate, DirectoriesAndNamesThatAreNotUtf8GiveTheirDateAndMissingPathsNothing)
{
    ScratchDirectory dir;
    EXPECT_LT(SecondsFromNow(GetFileCreationDateString(ioPath(dir.Path()))), 10);
    zelio_test::WriteWholeFile(dir / "raw-\xFF.bin", "x");
    EXPECT_LT(SecondsFromNow(GetFileCreationDateString(ioPath(dir / "raw-\xFF.bin"))), 10);
    EXPECT_EQ(GetFileCreationDateString(ioPath(dir / "gone-\xFF.bin")), "");
    EXPECT_EQ(GetFileCreationDateString(ioPath(dir / "missing")), "");
}

} // namespace
