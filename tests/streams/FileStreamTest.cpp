// File streams: reading and seeking, creating and emptying, failures with their records, and no
// descriptor left open by a failed or finished stream.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ErrorInfo.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_test::OpenDescriptorCount;
using zelio_test::ReadWholeFile;
using zelio_test::ScratchDirectory;
using zelio_test::WriteWholeFile;

namespace
{

const uint8_t* Bytes(const char* text)
{
    return reinterpret_cast<const uint8_t*>(text);
}

TEST(DataInputFile, ReadsInPiecesSeeksAndKeepsTheSizeSeenAtOpening)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "ten.bin", "0123456789");
    auto input = DataInputFile::Create(ioPath(dir / "ten.bin"));
    EXPECT_EQ(input->GetSize(), 10u);
    EXPECT_EQ(input->GetPath(), ioPath(dir / "ten.bin"));
    uint8_t out[100];
    EXPECT_EQ(input->Read(out, 4), 4u);
    EXPECT_EQ(input->Read(out, 4), 4u);
    EXPECT_EQ(input->Read(out, 4), 2u);
    EXPECT_EQ(input->Read(out, 4), 0u);
    EXPECT_EQ(input->GetPosition(), 10u);
    input->SetPosition(3);
    EXPECT_EQ(input->Read(out, 100), 7u);
    EXPECT_EQ(std::memcmp(out, "3456789", 7), 0);

    WriteWholeFile(dir / "ten.bin", "0123456789 and more");
    EXPECT_EQ(input->GetSize(), 10u);
    input->SetPosition(1000);
    EXPECT_EQ(input->Read(out, 1), 0u);
}

TEST(DataInputFile, MissingFileThrowsWithAllFourRecordsAndLeaksNothing)
{
    ScratchDirectory dir;
    const int before = OpenDescriptorCount();
    const ioPath missing(dir / "d\xC3\xA9j\xC3\xA0-missing.bin");
    try
    {
        DataInputFile::Create(missing);
        ADD_FAILURE() << "a missing file was opened";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(*boost::get_error_info<ErrorFilename>(e), missing.utf8string());
        EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), "Can not open file for reading");
        EXPECT_EQ(*boost::get_error_info<ErrorDetails>(e), std::strerror(ENOENT));
        ASSERT_NE(boost::get_error_info<ErrorCallStack>(e), nullptr);
        EXPECT_FALSE(boost::get_error_info<ErrorCallStack>(e)->empty());
        EXPECT_EQ(std::string(e.what()), std::string(std::exception().what()));
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(DataInputFile, NameThatIsNotUtf8OpensAndIsReportedReadably)
{
    ScratchDirectory dir;
    const std::string rawName = "raw-\xFF.bin";
    WriteWholeFile(dir / rawName, "xyz");
    auto input = DataInputFile::Create(ioPath(dir / rawName));
    EXPECT_EQ(input->GetSize(), 3u);

    try
    {
        DataInputFile::Create(ioPath(dir / "gone-\xFF.bin"));
        ADD_FAILURE() << "a missing file was opened";
    }
    catch (const IOException& e)
    {
        const std::string name = *boost::get_error_info<ErrorFilename>(e);
        EXPECT_NE(name.find("gone-\xEF\xBF\xBD.bin"), std::string::npos) << name;
    }
}

TEST(DataOutputFile, CreatesParentsEmptiesAndOverwritesAtThePosition)
{
    ScratchDirectory dir;
    const auto path = dir / "a" / "b" / "out.bin";
    {
        auto output = DataOutputFile::Create(ioPath(path));
        EXPECT_EQ(output->Write(Bytes("hello"), 5), 5u);
        output->SetPosition(2);
        EXPECT_EQ(output->Write(Bytes("L"), 1), 1u);
        EXPECT_EQ(output->GetPosition(), 3u);
        output->SetSize(1);
        EXPECT_EQ(output->GetSize(), 0u);
        // Every Write has reached the file before it returns.
        EXPECT_EQ(ReadWholeFile(path), "heLlo");
    }
    EXPECT_EQ(ReadWholeFile(path), "heLlo");

    auto again = DataOutputFile::Create(ioPath(path));
    EXPECT_EQ(again->GetSize(), 0u);
    EXPECT_EQ(ReadWholeFile(path), "");
    again->SetPosition(4);
    again->Write(Bytes("!"), 1);
    EXPECT_EQ(ReadWholeFile(path), std::string("\0\0\0\0!", 5));
}

TEST(DataOutputFile, FailedFlushThrowsTheSystemsErrorText)
{
    auto full = DataOutputFile::Create(ioPath("/dev/full"));
    try
    {
        full->Write(Bytes("abc"), 3);
        ADD_FAILURE() << "a write to /dev/full succeeded";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), std::strerror(ENOSPC));
    }
}

TEST(DataOutputFile, OpenFailureThrowsTheSystemsErrorTextAndLeaksNothing)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "plain", "a file, not a directory");
    const int before = OpenDescriptorCount();
    try
    {
        DataOutputFile::Create(ioPath(dir / "plain" / "child.bin"));
        ADD_FAILURE() << "a file was created below a plain file";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), std::strerror(ENOTDIR));
        EXPECT_EQ(boost::get_error_info<ErrorFilename>(e), nullptr);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(FileStreams, ReleasingTheLastReferenceClosesTheFile)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "in.bin", "data");
    const int before = OpenDescriptorCount();
    for (int i = 0; i < 100; ++i)
    {
        auto input = DataInputFile::Create(ioPath(dir / "in.bin"));
        auto output = DataOutputFile::Create(ioPath(dir / "out.bin"));
        EXPECT_EQ(OpenDescriptorCount(), before + 2);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
