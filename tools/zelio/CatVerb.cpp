// zelio cat: the client end of a pipe, between standard input and standard output.
#include "CopyOptions.h"
#include "Verbs.h"

#include <iostream>

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio cat [--in | --out | --duplex] [--wait] NAME

Opens the client end of the pipe NAME (\\.\pipe\NAME, or NAME as it is when it starts so) and
copies standard input to the pipe and the pipe to standard output, until the end. The pipe must
have a server, such as "zelio serve".

  --in      only read the pipe, to standard output
  --out     only write standard input to the pipe
  --duplex  both ways; without any of the three, the directions the server offers
  --wait    both ways: once standard input has ended, read on until the other end closes
            (without it, the end of standard input closes the pipe)
)usage";

} // namespace

int RunCat(const Arguments& arguments)
{
    const CommandLine line(arguments, CopyFlags());
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(1, 1, "the pipe's NAME");
    const std::string name = PipeNameOperand(line.Operands()[0]);
    const std::optional<Direction> direction = PickedDirection(line);
    PipeEnds ends = direction ? PipeEnds::Open(name, *direction) : PipeEnds::OpenAsOffered(name);
    CopyThrough(ends, line.Has("--wait"));
    return 0;
}

} // namespace zelio_tool
