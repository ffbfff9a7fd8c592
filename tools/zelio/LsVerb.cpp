// zelio ls: the live pipes of the current user.
#include "CommandLine.h"
#include "FailureText.h"
#include "ToolErrors.h"
#include "Verbs.h"

#include <Ostrel/Core/PipeListing.h>

#include <cstdio>
#include <iostream>

using namespace Ostrel::Core;

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio ls [--all]

Lists the live pipes of the current user, one a line:

  STATE  DIRECTION  PID  AGE  NAME

STATE is "live" (or "dead" with --all); DIRECTION what the server end does: "in" (it reads),
"out" (it writes) or "duplex"; PID the server's process id, "-" when the system does not tell it;
AGE how long the pipe has been there; NAME the pipe's name, in small letters, since names ignore
case. A name too long for a file of its own is known only by its hash, shown as "~" and 16
hexadecimal digits followed by "(hashed)".

  --all  also list the files of servers that died without closing (the next server to start
         removes them)
)usage";

std::string DirectionText(const PipeInfo& pipe)
{
    if (pipe.serverReads && pipe.serverWrites)
    {
        return "duplex";
    }
    if (pipe.serverReads)
    {
        return "in";
    }
    return pipe.serverWrites ? "out" : "-";
}

std::string AgeText(uint64_t seconds)
{
    char text[32];
    if (seconds < 60)
    {
        std::snprintf(text, sizeof text, "%llus", static_cast<unsigned long long>(seconds));
    }
    else if (seconds < 3600)
    {
        std::snprintf(text, sizeof text, "%llum%02llus", static_cast<unsigned long long>(seconds / 60),
                      static_cast<unsigned long long>(seconds % 60));
    }
    else if (seconds < 86400)
    {
        std::snprintf(text, sizeof text, "%lluh%02llum", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds % 3600 / 60));
    }
    else
    {
        std::snprintf(text, sizeof text, "%llud%02lluh", static_cast<unsigned long long>(seconds / 86400),
                      static_cast<unsigned long long>(seconds % 86400 / 3600));
    }
    return text;
}

// The name as a line can hold it: control bytes are written as %XX, as in the pipe's file name.
std::string NameText(const PipeInfo& pipe)
{
    if (pipe.hashed)
    {
        return pipe.fileName + " (hashed)";
    }
    std::string text;
    for (const char c : pipe.name)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
        {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            text += escaped;
            continue;
        }
        text += c;
    }
    return text;
}

} // namespace

int RunLs(const Arguments& arguments)
{
    const CommandLine line(arguments, {"--all"});
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(0, 0, "nothing");
    std::vector<PipeInfo> pipes;
    try
    {
        pipes = ListPipes(line.Has("--all"));
    }
    catch (const std::exception& error)
    {
        throw Failure("cannot list the pipes: " + FailureText(error));
    }
    for (const PipeInfo& pipe : pipes)
    {
        const std::string pid = pipe.serverProcessId > 0 ? std::to_string(pipe.serverProcessId) : "-";
        std::printf("%-5s %-7s %8s %7s  %s\n", pipe.live ? "live" : "dead", DirectionText(pipe).c_str(),
                    pid.c_str(), AgeText(pipe.ageSeconds).c_str(), NameText(pipe).c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace zelio_tool
