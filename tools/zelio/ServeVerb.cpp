// zelio serve: the server end of a pipe, between standard input and standard output.
#include "CopyOptions.h"
#include "Verbs.h"

#include <cstdio>
#include <iostream>

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio serve [--in | --out | --duplex] [--wait] [-v] NAME

Creates the server end of the pipe NAME (\\.\pipe\NAME, or NAME as it is when it starts so), waits
for its one client, and copies standard input to the pipe and the pipe to standard output, until
the end. The pipe and its files go when zelio ends.

  --in      only read the pipe, to standard output
  --out     only write standard input to the pipe
  --duplex  both ways (the default)
  --wait    both ways: once standard input has ended, read on until the other end closes
            (without it, the end of standard input closes the pipe)
  -v        say on standard error when the name is taken and clients may come
)usage";

} // namespace

int RunServe(const Arguments& arguments)
{
    std::set<std::string> flags = CopyFlags();
    flags.insert("-v");
    const CommandLine line(arguments, flags);
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(1, 1, "the pipe's NAME");
    const std::string name = PipeNameOperand(line.Operands()[0]);
    const Direction direction = PickedDirection(line).value_or(Direction::Duplex);
    const bool verbose = line.Has("-v");
    PipeEnds ends = PipeEnds::Serve(name, direction,
                                    [&]
                                    {
                                        if (verbose)
                                        {
                                            std::fprintf(stderr, "zelio: serving %s\n", name.c_str());
                                            std::fflush(stderr);
                                        }
                                    });
    CopyThrough(ends, line.Has("--wait"));
    return 0;
}

} // namespace zelio_tool
