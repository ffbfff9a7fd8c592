// zelio name: a new unique pipe name, or temporary file path.
#include "CommandLine.h"
#include "Verbs.h"

#include <Ostrel/Core/IPCTools.h>

#include <iostream>

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio name [--temp]

Prints a new pipe name, \\.\pipe\ followed by a random UUID, which no other pipe is likely to have.

  --temp  print instead the path of a new temporary file, whose name starts with a random UUID
          (the file is not made)
)usage";

} // namespace

int RunName(const Arguments& arguments)
{
    const CommandLine line(arguments, {"--temp"});
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(0, 0, "nothing");
    std::cout << (line.Has("--temp") ? Ostrel::Core::GenerateTempFileName()
                                     : Ostrel::Core::GeneratePipeName())
              << '\n';
    return 0;
}

} // namespace zelio_tool
