// The MD5 of a data input equals what md5sum prints for its bytes from its position on: RFC 1321
// vectors through memory and files, inputs not at their start, and a file large enough for the
// huge-page path, checked against md5sum itself.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/StreamDigest.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_test::ScratchDirectory;
using zelio_test::WriteWholeFile;

namespace
{

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (const uint8_t byte : bytes)
    {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 0xF];
    }
    return text;
}

std::string Md5sum(const std::filesystem::path& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("md5sum '" + path.string() + "'").c_str(), "r"),
                                               &pclose);
    char digest[33] = {};
    return pipe && std::fread(digest, 1, 32, pipe.get()) == 32 ? digest : "md5sum failed";
}

TEST(StreamDigest, Rfc1321VectorsThroughMemoryAndFiles)
{
    const std::string abc = "abc";
    EXPECT_EQ(Hex(MD5Generate(DataInputString::Create(&abc), "")), "900150983cd24fb0d6963f7d28e17f72");
    // The salt is digested after the input's bytes.
    EXPECT_EQ(Hex(MD5Generate(DataInputString::Create(&abc), "defghijklmnopqrstuvwxyz")),
              "c3fcd3d76192e4007dfb496cca67e13b");

    ScratchDirectory dir;
    WriteWholeFile(dir / "message.txt", "message digest");
    auto file = DataInputFile::Create(ioPath(dir / "message.txt"));
    const std::vector<uint8_t> digest = MD5Generate(file, "");
    EXPECT_EQ(digest.size(), 16u);
    EXPECT_EQ(Hex(digest), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(file->GetPosition(), 14u);
    EXPECT_EQ(Hex(MD5Generate(file, "")), "d41d8cd98f00b204e9800998ecf8427e"); // nothing left to read
}

TEST(StreamDigest, DigestsOnlyTheBytesReadDeliversFromThePosition)
{
    const std::string text = "skip me:1234567890";
    std::string salt;
    for (int i = 0; i < 7; ++i)
    {
        salt += "1234567890";
    }
    auto input = DataInputString::Create(&text);
    input->SetPosition(8);
    EXPECT_EQ(Hex(MD5Generate(input, salt)), "57edf4a22be3c955ac49da2e2107b67a");

    ScratchDirectory dir;
    WriteWholeFile(dir / "eight.txt", "abcdefgh");
    auto file = DataInputFile::Create(ioPath(dir / "eight.txt"));
    file->SetPosition(5);
    EXPECT_EQ(Hex(MD5Generate(file, "")), "0f98df87c7440c045496f705c7295344"); // md5sum of "fgh"
    file->SetPosition(100);
    EXPECT_EQ(Hex(MD5Generate(file, "")), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(StreamDigest, LargeFileMatchesMd5sumFromItsStartAndFromAnOddPosition)
{
    ScratchDirectory dir;
    std::string content((40u << 20) + 4097, '\0');
    for (size_t i = 0; i < content.size(); ++i)
    {
        content[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    WriteWholeFile(dir / "large.bin", content);
    const size_t position = (5u << 20) + 333;
    WriteWholeFile(dir / "tail.bin", content.substr(position));

    auto file = DataInputFile::Create(ioPath(dir / "large.bin"));
    EXPECT_EQ(Hex(MD5Generate(file, "")), Md5sum(dir / "large.bin"));
    file->SetPosition(position);
    EXPECT_EQ(Hex(MD5Generate(file, "")), Md5sum(dir / "tail.bin"));
}

} // namespace
