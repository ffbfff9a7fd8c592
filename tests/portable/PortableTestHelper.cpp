// portable_test_helper: the child process of the portable tests. The first argument names what it
// does; the exit status says whether it went as it should (0) or where it failed.
//
//   std-copy CHUNK [FIRST [LAST]]  prints FIRST through the runtime's stdout, copies the standard
//                                  input to the standard output through DataStdInput and
//                                  DataStdOutput in reads of CHUNK bytes, then prints LAST
//   std-types                      exits with the type of its standard input times 4 plus the
//                                  type of its standard output, as GetFileType tells them
//   pipe-echo FROM TO              opens the client ends of two pipes and sends back through TO
//                                  what comes from FROM, until FROM ends
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/DataStdInput.h>
#include <Ostrel/Core/DataStdOutput.h>
#include <Ostrel/Platform/Windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

using namespace Ostrel::Core;

namespace
{

constexpr int kBadArguments = 2;
constexpr int kNoStandardStream = 3;
constexpr int kShortWrite = 4;
constexpr int kThrew = 5;

void Print(const std::string& text)
{
    if (!text.empty())
    {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
}

int StdCopy(uint64_t chunk, const std::string& first, const std::string& last)
{
    Print(first);
    uint64_t inputSize = 0;
    uint64_t outputSize = 0;
    auto input = DataStdInput::Create(inputSize);
    auto output = DataStdOutput::Create(outputSize);
    if (!input || !output || inputSize != 4096 || outputSize != 4096)
    {
        return kNoStandardStream;
    }
    std::vector<uint8_t> buffer(chunk);
    for (;;)
    {
        const uint64_t got = input->Read(buffer.data(), buffer.size());
        if (got == 0)
        {
            break;
        }
        if (output->Write(buffer.data(), got) != got)
        {
            return kShortWrite;
        }
    }
    // While the standard output stream lives: releasing it closes the standard output.
    Print(last);
    return 0;
}

int StdTypes()
{
    return static_cast<int>(GetFileType(GetStdHandle(STD_INPUT_HANDLE)) * 4 +
                            GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)));
}

int PipeEcho(const std::string& from, const std::string& to)
{
    auto input = DataInputPipe::Create(from, false);
    auto output = DataOutputPipe::Create(to, false);
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;)
    {
        // A short count means the other end has gone: the input is closed after it.
        const uint64_t got = input->Read(buffer.data(), buffer.size());
        if (got > 0 && output->Write(buffer.data(), got) != got)
        {
            return kShortWrite;
        }
        if (got < buffer.size())
        {
            return 0;
        }
    }
}

int Run(const std::vector<std::string>& arguments)
{
    if (arguments.size() >= 2 && arguments[0] == "std-copy")
    {
        const uint64_t chunk = std::strtoull(arguments[1].c_str(), nullptr, 10);
        return chunk == 0 ? kBadArguments
                          : StdCopy(chunk, arguments.size() > 2 ? arguments[2] : "",
                                    arguments.size() > 3 ? arguments[3] : "");
    }
    if (arguments.size() == 1 && arguments[0] == "std-types")
    {
        return StdTypes();
    }
    if (arguments.size() == 3 && arguments[0] == "pipe-echo")
    {
        return PipeEcho(arguments[1], arguments[2]);
    }
    return kBadArguments;
}

} // namespace

int main(int argc, char** argv)
{
    try
    {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "portable_test_helper: %s\n", e.what());
        return kThrew;
    }
}
