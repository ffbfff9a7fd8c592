// _tempnam: a malloc'ed free path in $TMPDIR, else in the directory given, else in /tmp.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace PlatformTest;

namespace
{

// Sets TMPDIR for one test and restores it.
class TempNameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("TMPDIR");
        m_hadTmpdir = previous != nullptr;
        m_previous = m_hadTmpdir ? previous : "";
        m_directory = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/temp-names";
        std::filesystem::create_directories(m_directory);
    }
    void TearDown() override
    {
        if (m_hadTmpdir)
        {
            ::setenv("TMPDIR", m_previous.c_str(), 1);
        }
        else
        {
            ::unsetenv("TMPDIR");
        }
    }

    // The name, freed as _tempnam's contract asks.
    static std::string Take(char* name)
    {
        EXPECT_NE(name, nullptr);
        const std::string text = name != nullptr ? name : "";
        std::free(name);
        return text;
    }

    std::string m_directory;

private:
    bool m_hadTmpdir = false;
    std::string m_previous;
};

TEST_F(TempNameTest, FreePathsInTmpdirMadeOfThePrefixAndARandomSuffix)
{
    ::setenv("TMPDIR", m_directory.c_str(), 1);
    std::set<std::string> names;
    for (int i = 0; i < 200; ++i)
    {
        const std::string name = Take(_tempnam(nullptr, "prefix-"));
        ASSERT_EQ(name.rfind(m_directory + "/prefix-", 0), 0u) << name;
        EXPECT_GT(name.size(), (m_directory + "/prefix-").size());
        EXPECT_FALSE(std::filesystem::exists(name));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 200u);
}

TEST_F(TempNameTest, DirectoryIsTmpdirThenTheArgumentThenTmp)
{
    const std::string argument = m_directory + "/argument";
    std::filesystem::create_directories(argument);
    ::setenv("TMPDIR", m_directory.c_str(), 1);
    EXPECT_EQ(std::filesystem::path(Take(_tempnam(argument.c_str(), "x"))).parent_path(), m_directory);
    ::setenv("TMPDIR", (m_directory + "/missing").c_str(), 1);
    EXPECT_EQ(std::filesystem::path(Take(_tempnam(argument.c_str(), "x"))).parent_path(), argument);
    ::unsetenv("TMPDIR");
    EXPECT_EQ(std::filesystem::path(Take(_tempnam((m_directory + "/missing").c_str(), "x"))).parent_path(),
              "/tmp");
    EXPECT_EQ(std::filesystem::path(Take(_tempnam(nullptr, nullptr))).parent_path(), "/tmp");
}

TEST_F(TempNameTest, APrefixThatLeadsElsewhereIsRefused)
{
    EXPECT_EQ(_tempnam(nullptr, "../escape"), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

} // namespace
