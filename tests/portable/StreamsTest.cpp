// The data streams as a program of each platform uses them: memory and string streams, file
// streams under a name outside ASCII, and positions beyond 4 GiB in a sparse file.
#include <Ostrel/ZelIO.h>

#include "support/PortableSupport.h"
#include "support/System.h"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <string>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_portable::ScratchFolder;

namespace
{

// 5 GiB and 3 bytes: both 32-bit halves of the offset are non-zero.
constexpr uint64_t kFar = (uint64_t{5} << 30) + 3;

ioPath AsIoPath(const std::filesystem::path& path)
{
    return ioPath::FromNative(path.native());
}

TEST(PortablePaths, TextConvertsExactlyBothWays)
{
    // A name outside the Basic Multilingual Plane too: a surrogate pair in UTF-16.
    const std::string utf8 = u8"d\u00e9j\u00e0/\u4e2d\u6587-\U0001F600.txt";
    const std::wstring wide = L"d\u00e9j\u00e0/\u4e2d\u6587-\U0001F600.txt";
    const ioPath fromUtf8(utf8);
    const ioPath fromWide(wide);
    EXPECT_EQ(fromUtf8, fromWide);
    EXPECT_EQ(fromUtf8.utf8string(), utf8);
    EXPECT_EQ(fromWide.wstring(), wide);
    EXPECT_EQ(fromWide.parent_path().utf8string(), u8"d\u00e9j\u00e0");
    EXPECT_TRUE(fromUtf8.parent_path() / ioPath("x.bin") == ioPath(u8"d\u00e9j\u00e0/x.bin"));
    const std::wstring loneSurrogate{L'a', static_cast<wchar_t>(0xD800), L'b'};
    EXPECT_THROW(ioPath{loneSurrogate}, PathConversionError);
}

TEST(PortableStreams, MemoryAndStringStreamsReadWriteAndRefuseSeeksBeyondTheEnd)
{
    const uint8_t block[] = {1, 2, 3, 4, 5};
    auto memory = DataInputMemory::Create(block, sizeof block);
    uint8_t got[8] = {};
    memory->SetPosition(3);
    EXPECT_EQ(memory->Read(got, sizeof got), 2u);
    EXPECT_EQ(got[0], 4);
    try
    {
        memory->SetPosition(6);
        ADD_FAILURE() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        ASSERT_NE(boost::get_error_info<ErrorSeek>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorSeek>(e), 6u);
    }

    std::string text = "abcdef";
    auto output = DataOutputString::Create(&text);
    output->SetPosition(4);
    EXPECT_EQ(output->Write(reinterpret_cast<const uint8_t*>("XYZ"), 3), 3u);
    EXPECT_EQ(text, "abcdXYZ");
    auto input = DataInputString::Create(&text);
    EXPECT_EQ(input->GetSize(), 7u);
    EXPECT_EQ(input->Read(got, 3), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 3), "abc");
}

TEST(PortableStreams, FileUnderANameOutsideAsciiIsWrittenAndReadBack)
{
    const ScratchFolder folder;
    // "dé jà/中文.bin", in a folder the output makes.
    const std::filesystem::path file =
        folder / std::filesystem::u8path(u8"d\u00e9 j\u00e0") / std::filesystem::u8path(u8"\u4e2d\u6587.bin");
    const ioPath path = AsIoPath(file);
    {
        auto output = DataOutputFile::Create(path);
        EXPECT_EQ(output->Write(reinterpret_cast<const uint8_t*>("0123456789"), 10), 10u);
        output->SetPosition(2);
        EXPECT_EQ(output->Write(reinterpret_cast<const uint8_t*>("x"), 1), 1u);
        EXPECT_EQ(output->GetPosition(), 3u);
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(zelio_portable::ReadWholeFile(file), "01x3456789");
    auto input = DataInputFile::Create(path);
    EXPECT_EQ(input->GetPath(), path);
    EXPECT_EQ(input->GetSize(), 10u);
    uint8_t got[4];
    EXPECT_EQ(input->Read(got, 4), 4u);
    EXPECT_EQ(input->Read(got, 4), 4u);
    EXPECT_EQ(input->Read(got, 4), 2u);
    EXPECT_EQ(input->Read(got, 4), 0u);
    EXPECT_EQ(input->GetPosition(), 10u);
}

TEST(PortableStreams, MissingFileOutsideAsciiIsReportedByItsUtf8Name)
{
    const ScratchFolder folder;
    const ioPath path = AsIoPath(folder / std::filesystem::u8path(u8"\u00e9t\u00e9.bin"));
    try
    {
        DataInputFile::Create(path);
        FAIL() << "nothing thrown";
    }
    catch (const IOException& e)
    {
        ASSERT_NE(boost::get_error_info<ErrorFilename>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<ErrorFilename>(e), path.utf8string());
        EXPECT_NE(boost::get_error_info<ErrorFilename>(e)->find(u8"\u00e9t\u00e9.bin"), std::string::npos);
    }
    EXPECT_THROW(DataInputFile::Create(AsIoPath(folder.Path())), IOException) << "a folder is not a file";
}

TEST(PortableStreams, PositionsBeyondFourGibibytesReachTheirBytes)
{
    const ScratchFolder folder;
    const auto file = folder / "far.bin";
    {
        auto output = DataOutputFile::Create(AsIoPath(file));
        if (!zelio_portable::MakeSparse(file))
        {
            GTEST_SKIP() << "the file system here cannot keep a 5 GiB file sparse";
        }
        output->SetPosition(kFar);
        EXPECT_EQ(output->GetPosition(), kFar);
        EXPECT_EQ(output->Write(reinterpret_cast<const uint8_t*>("tail"), 4), 4u);
        EXPECT_EQ(output->GetPosition(), kFar + 4);
    }
    EXPECT_EQ(std::filesystem::file_size(file), kFar + 4);
    auto input = DataInputFile::Create(AsIoPath(file));
    EXPECT_EQ(input->GetSize(), kFar + 4);
    input->SetPosition(kFar + 1);
    EXPECT_EQ(input->GetPosition(), kFar + 1);
    uint8_t got[8] = {};
    EXPECT_EQ(input->Read(got, sizeof got), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 3), "ail");
    input->SetPosition(kFar - 2);
    EXPECT_EQ(input->Read(got, 3), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 3), std::string("\0\0t", 3));
}

} // namespace
