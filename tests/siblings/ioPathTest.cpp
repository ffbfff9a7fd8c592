// ioPath: the default, parents, the text of a filesystem path, clear failures, and missing
// directories made.
#include <Ostrel/ioPath.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using Ostrel::ioPath;
using Ostrel::PathConversionError;

namespace
{

TEST(ioPath, DefaultIsEmptyParentDropsTheLastComponentAndAFilesystemPathKeepsItsText)
{
    const std::string utf8 = "/tmp/d\xC3\xA9j\xC3\xA0/\xF0\x9F\x98\x80.txt";
    EXPECT_EQ(ioPath(std::filesystem::path(utf8)).utf8string(), utf8);
    EXPECT_TRUE(ioPath().empty());
    EXPECT_EQ(ioPath().utf8string(), "");
    EXPECT_EQ(ioPath("/a/b/c.txt").parent_path().utf8string(), "/a/b");
    EXPECT_EQ((ioPath("/a") / ioPath("b")).utf8string(), "/a/b");
}

TEST(ioPath, InconvertibleTextThrowsAClearError)
{
    const std::wstring loneSurrogate = std::wstring(L"name") + static_cast<wchar_t>(0xD800);
    EXPECT_THROW(ioPath{loneSurrogate}, PathConversionError);
    EXPECT_THROW(ioPath{std::wstring(1, static_cast<wchar_t>(0x110000))}, PathConversionError);

    const ioPath invalid(std::string("bad-\xFF-name"));
    EXPECT_THROW(invalid.wstring(), PathConversionError);
    EXPECT_THROW(invalid.utf8string(), PathConversionError);
    EXPECT_EQ(invalid.display_string(), "bad-\xEF\xBF\xBD-name");
    // Overlong and truncated forms are not accepted either.
    EXPECT_THROW(ioPath(std::string("\xC0\xAF")).wstring(), PathConversionError);
    EXPECT_THROW(ioPath(std::string("\xE6\x97")).wstring(), PathConversionError);
    // An encoded surrogate is not UTF-8.
    EXPECT_THROW(ioPath(std::string("\xED\xA0\x80")).utf8string(), PathConversionError);
}

TEST(ioPath, CreateDirectoriesMakesEveryMissingAncestor)
{
    zelio_test::ScratchDirectory dir;
    const ioPath deep = ioPath(dir.Path()) / ioPath("x/y/z");
    EXPECT_TRUE(ioPath::create_directories(deep));
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(deep.native())));
    EXPECT_FALSE(ioPath::create_directories(deep));
    EXPECT_FALSE(ioPath::create_directories(ioPath()));
}

} // namespace
