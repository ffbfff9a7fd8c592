// The standard streams of a child process over files and pipes: what it reads and writes through
// them goes in order, after what the handle's file already holds and between what the program
// prints through the runtime.
#include "support/ChildProcess.h"
#include "support/PortableSupport.h"

#include <gtest/gtest.h>

#include <string>

using zelio_portable::ChildProcess;
using zelio_portable::ReadWholeFile;
using zelio_portable::ScratchFolder;
using zelio_portable::WriteWholeFile;

namespace
{

TEST(PortableStandardStreams, OverFilesTheyReadAndWriteInOrderFromTheHandlesPosition)
{
    const ScratchFolder folder;
    WriteWholeFile(folder / "in.txt", "ABCDEFGHIJKL");
    WriteWholeFile(folder / "out.txt", "before|");
    ChildProcess::Options options;
    options.inputFile = folder / "in.txt";
    options.outputFile = folder / "out.txt";
    options.appendOutput = true;
    ChildProcess child({"std-copy", "4", "first|", "|last"}, options);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(ReadWholeFile(folder / "out.txt"), "before|first|ABCDEFGHIJKL|last");
}

TEST(PortableStandardStreams, OverAnEmptyFileTheInputEndsAtOnce)
{
    const ScratchFolder folder;
    WriteWholeFile(folder / "in.txt", "");
    ChildProcess::Options options;
    options.inputFile = folder / "in.txt";
    options.outputFile = folder / "out.txt";
    ChildProcess child({"std-copy", "4", "first|", "|last"}, options);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(ReadWholeFile(folder / "out.txt"), "first||last");
}

TEST(PortableStandardStreams, OverPipesTheyCarryEveryByte)
{
    ChildProcess::Options options;
    options.inputPipe = true;
    options.outputPipe = true;
    ChildProcess child({"std-copy", "4096"}, options);
    const auto pattern = zelio_portable::Pattern(50000);
    const std::string sent(pattern.begin(), pattern.end());
    auto writer = zelio_portable::StartCall(
        [&]
        {
            const bool whole = child.WriteInput(sent);
            child.CloseInput();
            return whole;
        });
    const std::string received = child.ReadAllOutput();
    ASSERT_TRUE(zelio_portable::ReturnsPromptly(writer));
    EXPECT_TRUE(writer.get());
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
    EXPECT_EQ(child.Wait(), 0);
}

} // namespace
