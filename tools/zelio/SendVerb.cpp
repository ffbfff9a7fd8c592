// zelio send: files, or lines, as the frames of a channel through the client end of a pipe.
#include "CommandLine.h"
#include "CopyOptions.h"
#include "FailureText.h"
#include "FrameSender.h"
#include "Interruption.h"
#include "Progress.h"
#include "StandardStreams.h"
#include "ToolErrors.h"
#include "Verbs.h"

#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/ioPath.h>

#include <algorithm>
#include <iostream>
#include <limits>

using namespace Ostrel::Core;

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio send [--lines] [-v] NAME [FILE...]

Opens the client end of the pipe NAME (\\.\pipe\NAME, or NAME as it is when it starts so), which a
server such as "zelio recv" has created, and sends each FILE as one frame of a channel (its length
as 8 little-endian bytes, then its bytes), then the end marker. Without FILE, or for "-", standard
input is one frame (none when it is empty).

  --lines  one frame per line instead, its newline included
  -v       print each frame's number, size and MD5 on standard error

A frame of 0 bytes would be the end marker: an empty FILE is refused before anything is sent.
)usage";

constexpr std::size_t kChunk = 1 << 20;

boost::intrusive_ptr<IDataInput> OpenFile(const std::string& path)
{
    try
    {
        return DataInputFile::Create(Ostrel::ioPath::FromNative(path));
    }
    catch (const std::exception& error)
    {
        throw Failure(path + ": " + FailureText(error));
    }
}

void RefuseEmptyFiles(const std::vector<std::string>& sources)
{
    for (const std::string& source : sources)
    {
        if (source == "-")
        {
            continue;
        }
        const auto file = OpenFile(source);
        if (file->GetSize() == 0)
        {
            throw Failure(source + " is empty: a frame of 0 bytes would be the end marker");
        }
    }
}

// The input's bytes to its end; a read cut short by an interruption is not a whole input.
std::vector<uint8_t> ReadWhole(IByteDataInput& input)
{
    std::vector<uint8_t> bytes;
    for (;;)
    {
        const std::size_t had = bytes.size();
        bytes.resize(had + kChunk);
        const uint64_t got = input.Read(bytes.data() + had, kChunk);
        bytes.resize(had + got);
        if (got == 0)
        {
            break;
        }
    }
    if (Interruption::Requested())
    {
        throw Failure("interrupted");
    }
    return bytes;
}

void SendLines(IByteDataInput& input, FrameSender& sender)
{
    std::vector<uint8_t> chunk(kChunk);
    std::vector<uint8_t> line;
    for (;;)
    {
        const uint64_t got = input.Read(chunk.data(), chunk.size());
        if (got == 0 || Interruption::Requested())
        {
            break;
        }
        for (uint64_t i = 0; i < got; ++i)
        {
            line.push_back(chunk[i]);
            if (chunk[i] == '\n')
            {
                sender.Send(line.data(), line.size());
                line.clear();
            }
        }
    }
    if (Interruption::Requested())
    {
        throw Failure("interrupted");
    }
    if (!line.empty())
    {
        sender.Send(line.data(), line.size());
    }
}

} // namespace

int RunSend(const Arguments& arguments)
{
    const CommandLine line(arguments, {"--lines", "-v"});
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(1, std::numeric_limits<std::size_t>::max(), "the pipe's NAME");
    const std::string name = PipeNameOperand(line.Operands()[0]);
    std::vector<std::string> sources(line.Operands().begin() + 1, line.Operands().end());
    if (sources.empty())
    {
        sources.push_back("-");
    }
    RefuseEmptyFiles(sources);
    const bool readsStandardInput = std::find(sources.begin(), sources.end(), "-") != sources.end();
    const boost::intrusive_ptr<IByteDataInput> standardInput =
        readsStandardInput ? OpenStandardInput() : nullptr;
    Progress progress;
    FrameSender sender(name, line.Has("-v"), progress);
    const Interruption::Scope cancel(
        [&]
        {
            sender.Cancel();
            if (standardInput)
            {
                standardInput->Cancel();
            }
        });
    for (const std::string& source : sources)
    {
        const boost::intrusive_ptr<IByteDataInput> input =
            source == "-" ? standardInput : boost::intrusive_ptr<IByteDataInput>(OpenFile(source));
        if (!input)
        {
            continue;
        }
        if (line.Has("--lines"))
        {
            SendLines(*input, sender);
            continue;
        }
        const std::vector<uint8_t> frame = ReadWhole(*input);
        if (!frame.empty())
        {
            sender.Send(frame.data(), frame.size());
        }
    }
    sender.SendEndMarker();
    progress.Finish();
    return 0;
}

} // namespace zelio_tool
