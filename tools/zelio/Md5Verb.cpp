// zelio md5: the MD5 of files, in the form md5sum prints and reads back with -c.
#include "CommandLine.h"
#include "FailureText.h"
#include "FrameReport.h"
#include "Verbs.h"

#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/StreamDigest.h>
#include <Ostrel/ioPath.h>

#include <cstdio>
#include <iostream>
#include <limits>

using namespace Ostrel::Core;

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio md5 FILE...

Prints the MD5 of each FILE as md5sum does ("md5sum -c" checks the lines): the digest in
hexadecimal, two spaces and the file's name. A file that cannot be read is named on standard
error, the others are still digested, and the exit status is then 1.
)usage";

// md5sum's form of a name: one with a backslash or a newline is written with those escaped, and
// its line starts with a backslash.
std::string Md5sumLine(const std::string& digest, const std::string& name)
{
    std::string escaped;
    bool needsEscape = false;
    for (const char c : name)
    {
        if (c == '\\' || c == '\n')
        {
            escaped += c == '\\' ? "\\\\" : "\\n";
            needsEscape = true;
            continue;
        }
        escaped += c;
    }
    return (needsEscape ? "\\" : "") + digest + "  " + escaped + "\n";
}

} // namespace

int RunMd5(const Arguments& arguments)
{
    const CommandLine line(arguments, {});
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(1, std::numeric_limits<std::size_t>::max(), "FILE");
    int status = 0;
    for (const std::string& file : line.Operands())
    {
        try
        {
            const auto digest = MD5Generate(DataInputFile::Create(Ostrel::ioPath::FromNative(file)), "");
            const std::string text = Md5sumLine(HexText(digest), file);
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        catch (const std::exception& error)
        {
            std::fflush(stdout);
            std::fprintf(stderr, "zelio md5: %s: %s\n", file.c_str(), FailureText(error).c_str());
            status = 1;
        }
    }
    if (std::fflush(stdout) != 0)
    {
        std::fputs("zelio md5: cannot write to standard output\n", stderr);
        return 1;
    }
    return status;
}

} // namespace zelio_tool
