// Where a pipe's socket lives, as the README documents it for programs that do not use the
// library: they find it by that rule and exchange bytes with the pipe through a plain socket.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace PlatformTest;

namespace
{

bool IsSocket(const std::string& path)
{
    struct stat status
    {
    };
    return ::lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

// The documented hash: 64-bit FNV-1a of the case-folded name, as 16 small hex digits after '~'.
std::string DocumentedHashName(const std::string& foldedName)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : foldedName)
    {
        hash = (hash ^ c) * 0x100000001b3ull;
    }
    char text[18];
    std::snprintf(text, sizeof text, "~%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string SwapCase(std::string text)
{
    for (char& c : text)
    {
        c = static_cast<char>(c >= 'a' && c <= 'z'   ? c - 'a' + 'A'
                              : c >= 'A' && c <= 'Z' ? c - 'A' + 'a'
                                                     : c);
    }
    return text;
}

// Names differing only in case name one pipe.
TEST(PipeName, CharactersAFileNameCannotHoldAreEscapedAndCaseIsFolded)
{
    const std::string suffix = std::to_string(::getpid());
    const struct
    {
        std::string name;
        std::string file;
    } cases[] = {
        {"Plain.Name_1-" + suffix, "plain.name_1-" + suffix},
        {"a/b\\c d%" + suffix, "a%2Fb%5Cc%20d%25" + suffix},
        {".." + suffix, "%2E." + suffix},
        {"caf\xC3\xA9~" + suffix, "caf%C3%A9%7E" + suffix},
    };
    for (const auto& [name, file] : cases)
    {
        SCOPED_TRACE(name);
        Handle server = MakeServer("\\\\.\\pipe\\" + name, PIPE_ACCESS_DUPLEX);
        ASSERT_TRUE(server.IsValid()) << GetLastError();
        EXPECT_TRUE(IsSocket(PipeDirectory() + "/" + file));
        EXPECT_TRUE(OpenClient(SwapCase("\\\\.\\pipe\\" + name), GENERIC_READ | GENERIC_WRITE).IsValid());
    }
}

TEST(PipeName, NamesTooLongForASocketAddressUseTheirHash)
{
    const std::string name = "Long-" + std::to_string(::getpid()) + std::string(150, 'n');
    std::string folded = name;
    folded[0] = 'l';
    Handle server = MakeServer("\\\\.\\pipe\\" + name, PIPE_ACCESS_DUPLEX);
    ASSERT_TRUE(server.IsValid()) << GetLastError();
    EXPECT_TRUE(IsSocket(PipeDirectory() + "/" + DocumentedHashName(folded)));
    EXPECT_TRUE(OpenClient("\\\\.\\pipe\\" + folded, GENERIC_READ | GENERIC_WRITE).IsValid());
}

TEST(PipeName, APlainSocketTalksToAPipeFoundByTheDocumentedPath)
{
    const std::string file = "plain-client-" + std::to_string(::getpid());
    Handle server = MakeServer("\\\\.\\pipe\\" + file, PIPE_ACCESS_DUPLEX);
    ASSERT_TRUE(server.IsValid());

    const sockaddr_un address = AddressOf(PipeDirectory() + "/" + file);
    const int plain = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(plain, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(plain, "ping", 4, 0), 4);

    Transfer transfer;
    char buffer[16];
    const Outcome outcome =
        Complete(server.Get(), transfer, StartRead(server.Get(), transfer, buffer, sizeof buffer));
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(std::string(buffer, outcome.bytes), "ping");
    ASSERT_TRUE(StartWrite(server.Get(), transfer, "pong", 4).ok);
    EXPECT_EQ(::recv(plain, buffer, sizeof buffer, 0), 4);
    EXPECT_EQ(std::string(buffer, 4), "pong");
    ::close(plain);
}

TEST(PipeName, TheDirectoryFallsBackToTmpdirWithoutARuntimeDirectory)
{
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string tmp = runtime + "/tmp";
    ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", (runtime + "/missing").c_str(), 1);
    const char* previousTmpdir = std::getenv("TMPDIR");
    const std::string savedTmpdir = previousTmpdir != nullptr ? previousTmpdir : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);

    const std::string file = "fallback-" + std::to_string(::getpid());
    Handle server = MakeServer("\\\\.\\pipe\\" + file, PIPE_ACCESS_DUPLEX);
    EXPECT_TRUE(IsSocket(tmp + "/zelio-pipes-" + std::to_string(::geteuid()) + "/" + file));
    server.Close();

    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    if (previousTmpdir != nullptr)
    {
        ::setenv("TMPDIR", savedTmpdir.c_str(), 1);
    }
    else
    {
        ::unsetenv("TMPDIR");
    }
}

} // namespace
