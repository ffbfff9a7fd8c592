// A file's creation date as UTC text: empty for a missing path, 19 characters near now for a new
// file, whatever the time zone.
#include <Ostrel/Core/FileCreationDate.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

using Ostrel::ioPath;
using Ostrel::Core::GetFileCreationDateString;

namespace
{

class FileCreationDate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zelio-creation-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_directory = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(m_directory);
        ::unsetenv("TZ");
        ::tzset();
    }

    // Seconds between the text, read as UTC, and now.
    static long SecondsFromNow(const std::string& text)
    {
        std::tm parts{};
        EXPECT_NE(::strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parts), nullptr) << text;
        return std::labs(static_cast<long>(::timegm(&parts) - std::time(nullptr)));
    }

    std::string m_directory;
};

TEST_F(FileCreationDate, MissingPathGivesAnEmptyText)
{
    EXPECT_EQ(GetFileCreationDateString(ioPath(m_directory + "/missing")), "");
}

TEST_F(FileCreationDate, NewFileGivesNowInUtcWhateverTheTimeZone)
{
    const std::string file = m_directory + "/new \xC3\xA9.txt";
    std::ofstream(file) << "x";
    for (const char* zone : {"UTC", "Pacific/Kiritimati", "America/Los_Angeles", "XYZ+11"})
    {
        SCOPED_TRACE(zone);
        ::setenv("TZ", zone, 1);
        ::tzset();
        const std::string text = GetFileCreationDateString(ioPath(file));
        ASSERT_EQ(text.size(), 19u) << text;
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << text;
        EXPECT_LT(SecondsFromNow(text), 10) << text;
    }
}

TEST_F(FileCreationDate, DirectoryGivesItsCreationDate)
{
    EXPECT_LT(SecondsFromNow(GetFileCreationDateString(ioPath(m_directory))), 10);
}

TEST_F(FileCreationDate, NameThatIsNotUtf8IsExaminedThroughTheNativeForm)
{
    const std::string raw = m_directory + "/raw-\xFF.bin";
    std::ofstream(raw) << "x";
    EXPECT_LT(SecondsFromNow(GetFileCreationDateString(ioPath(raw))), 10);
    EXPECT_EQ(GetFileCreationDateString(ioPath(m_directory + "/gone-\xFF.bin")), "");
}

} // namespace
