// zelio recv: the frames of a channel through the server end of a pipe, to files or standard output.
#include "CommandLine.h"
#include "CopyOptions.h"
#include "FailureText.h"
#include "FrameReport.h"
#include "FrameSink.h"
#include "Interruption.h"
#include "Progress.h"
#include "StandardStreams.h"
#include "ToolErrors.h"
#include "Verbs.h"

#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/DataOutputString.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ioPath.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

using namespace Ostrel::Core;

namespace zelio_tool
{

namespace
{

const char kUsage[] = R"usage(usage: zelio recv [--into DIR] [-v] NAME

Creates the server end of the pipe NAME (\\.\pipe\NAME, or NAME as it is when it starts so), waits
for one sender such as "zelio send", and takes the frames of a channel until the end marker (or
until the sender closes the pipe). The frames go to standard output one after the other.

  --into DIR  write each frame to a file of its own instead: DIR/000001, DIR/000002, ...
              (DIR is made when it is missing)
  -v          say on standard error when the name is taken and senders may come, then print
              each frame's number, size and MD5 there
)usage";

constexpr uint64_t kChunk = 1 << 20;

boost::intrusive_ptr<IByteDataOutput> FrameFile(const std::string& directory, uint64_t number)
{
    const std::string path = directory + "/" + FrameNumber(number);
    try
    {
        return DataOutputFile::Create(Ostrel::ioPath::FromNative(path));
    }
    catch (const std::exception& error)
    {
        throw Failure(path + ": " + FailureText(error));
    }
}

void ReceiveFrame(IDataChannel& channel, uint64_t number, uint64_t size, FrameSink& sink)
{
    std::vector<uint8_t> buffer(static_cast<std::size_t>(std::min(size, kChunk)));
    for (uint64_t left = size; left > 0;)
    {
        const uint64_t wanted = std::min<uint64_t>(left, buffer.size());
        const uint64_t got = channel.Read(buffer.data(), wanted);
        if (got != wanted)
        {
            throw Failure("the sender closed the pipe in the middle of frame " + std::to_string(number));
        }
        sink.Take(buffer.data(), got);
        left -= got;
    }
}

} // namespace

int RunRecv(const Arguments& arguments)
{
    const CommandLine line(arguments, {"-v"}, {"--into"});
    if (line.WantsHelp())
    {
        std::cout << kUsage;
        return 0;
    }
    line.ExpectOperands(1, 1, "the pipe's NAME");
    const std::string name = PipeNameOperand(line.Operands()[0]);
    const std::string directory = line.Value("--into");
    if (line.Has("--into") && directory.empty())
    {
        throw UsageError("--into needs a directory");
    }
    const bool verbose = line.Has("-v");
    boost::intrusive_ptr<IByteDataInput> pipe;
    try
    {
        pipe = DataInputPipe::Create(name, true);
    }
    catch (const IOException& error)
    {
        throw Failure("cannot create " + name + ": " + FailureText(error));
    }
    if (verbose)
    {
        std::fprintf(stderr, "zelio: serving %s\n", name.c_str());
        std::fflush(stderr);
    }
    const boost::intrusive_ptr<IByteDataOutput> standardOutput =
        directory.empty() ? OpenStandardOutput() : nullptr;
    if (directory.empty() && !standardOutput)
    {
        throw Failure("there is no standard output to write the frames to");
    }
    // The channel only reads: what it would write goes nowhere.
    std::string unused;
    const auto channel = CommunicationChannel::Create(pipe, DataOutputString::Create(&unused), false);
    const Interruption::Scope cancel([&] { pipe->Cancel(); });
    Progress progress;
    for (uint64_t number = 1;; ++number)
    {
        const uint64_t size = channel->ReadMessageSize();
        if (size == 0 || Interruption::Requested())
        {
            break;
        }
        const auto output = directory.empty() ? standardOutput : FrameFile(directory, number);
        FrameSink sink(*output, verbose);
        ReceiveFrame(*channel, number, size, sink);
        progress.Add(size);
        if (verbose)
        {
            ReportFrame(number, size, sink.Digest());
        }
    }
    progress.Finish();
    return 0;
}

} // namespace zelio_tool
