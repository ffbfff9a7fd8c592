// A program with Win32 functions of its own, as ported Windows code often has (a GetLastError shim,
// a CloseHandle for its own objects): the library's pipes keep using the library's own functions,
// report the right conditions and release what they hold.
#include <Ostrel/ZelIO.h>

#include "pipes/PipeTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#define ZELIO_SHIM extern "C" __attribute__((visibility("default")))

ZELIO_SHIM uint32_t GetLastError()
{
    return 0;
}
ZELIO_SHIM void SetLastError(uint32_t) {}
ZELIO_SHIM int CloseHandle(void*)
{
    return 1;
}
ZELIO_SHIM int ReadFile(void*, void*, uint32_t, uint32_t*, void*)
{
    return 0;
}

namespace
{

using namespace Ostrel::Core;
using zelio_test::LogCapture;

// Where the library keeps the socket and the lock of a pipe named by GeneratePipeName (its UUID
// needs no escaping).
std::string PipeDirectory()
{
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"})
    {
        const char* base = std::getenv(variable);
        struct stat status{};
        if (base != nullptr && base[0] == '/' && ::stat(base, &status) == 0 && S_ISDIR(status.st_mode))
        {
            return std::string(base) + "/zelio-pipes-" + std::to_string(::geteuid());
        }
    }
    return "/tmp/zelio-pipes-" + std::to_string(::geteuid());
}

bool Exists(const std::string& path)
{
    struct stat status{};
    return ::lstat(path.c_str(), &status) == 0;
}

TEST(Win32Shim, PipesUseTheLibrarysOwnFunctionsBesideAProgramsOwn)
{
    const std::string name = GeneratePipeName();
    const std::string file = name.substr(name.rfind('\\') + 1);
    const std::vector<uint8_t> sent = zelio_test::Pattern(10000);
    {
        LogCapture log;
        auto server = DataInputPipe::Create(name, true);
        EXPECT_TRUE(Exists(PipeDirectory() + "/" + file));
        std::thread client(
            [&]
            {
                auto output = DataOutputPipe::Create(name, false);
                output->Write(sent.data(), sent.size());
            });
        std::vector<uint8_t> received(sent.size() + 1);
        EXPECT_EQ(server->Read(received.data(), received.size()), sent.size());
        client.join();
        received.resize(sent.size());
        EXPECT_EQ(received, sent);
        EXPECT_EQ(log.Texts(), std::vector<std::string>{"WARNING The pipe has been closed from the other side."});
    }
    // The handles were closed by the library: nothing of the pipe is left, and the name is free.
    EXPECT_FALSE(Exists(PipeDirectory() + "/" + file));
    EXPECT_FALSE(Exists(PipeDirectory() + "/.lock/" + file));
    EXPECT_NO_THROW(DataInputPipe::Create(name, true));
}

} // namespace
