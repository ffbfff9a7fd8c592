// Bit fields through a string, and MD5 digests against the test suite of RFC 1321, through the
// digest library and through a stream.
#include <Ostrel/ZelIO.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Ostrel::Core;

namespace
{

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (uint8_t byte : bytes)
    {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(PortableBits, FieldsComeBackMostSignificantBitFirst)
{
    std::string packed;
    {
        DataBitOutput writer(DataOutputString::Create(&packed));
        writer.WriteBits(5, 3);
        writer.WriteBits(0x2A, 6);
        writer.WriteData(reinterpret_cast<const uint8_t*>("\xF0\x0F"), 2);
        writer.Flush();
    }
    // 101 101010 11110000 00001111, padded with zeros.
    EXPECT_EQ(packed, std::string("\xB5\x78\x07\x80", 4));
    DataBitInput reader(DataInputString::Create(&packed));
    EXPECT_EQ(reader.ReadBits(3), 5u);
    EXPECT_EQ(reader.ReadBits(6), 0x2Au);
    EXPECT_EQ(reader.ReadBits(16), 0xF00Fu);
    EXPECT_EQ(reader.BitsLeft(), 7u);
    EXPECT_THROW(reader.ReadBits(8), IOException);
}

TEST(PortableBits, SixtyFourBitFieldsCrossBytes)
{
    const std::string source("\x01\x23\x45\x67\x89\xAB\xCD\xEF\xFF", 9);
    DataBitInput reader(DataInputString::Create(&source));
    EXPECT_EQ(reader.ReadBits(4), 0u);
    EXPECT_EQ(reader.ReadBits(64), 0x123456789ABCDEFFull);
    EXPECT_EQ(reader.BitsLeft(), 4u);
}

TEST(PortableDigest, Rfc1321TestSuite)
{
    const std::pair<std::string, std::string> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [message, digest] : suite)
    {
        EXPECT_EQ(Hex(MD5Generate(Bytes(message), "")), digest) << '"' << message << '"';
        const std::string copy = message;
        EXPECT_EQ(Hex(MD5Generate(DataInputString::Create(&copy), "")), digest) << '"' << message << '"';
    }
}

TEST(PortableDigest, PiecesAndSaltGiveTheDigestOfTheWhole)
{
    MD5Digest digest;
    digest.Update(reinterpret_cast<const uint8_t*>("message"), 7);
    digest.Update(reinterpret_cast<const uint8_t*>(" dig"), 4);
    EXPECT_EQ(Hex(digest.Final("est")), "f96b697d7cb7938d525a2f31aaf161d0");
    // Final starts the digest again.
    EXPECT_EQ(Hex(digest.Final("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex(MD5Generate(Bytes("ab"), "c")), "900150983cd24fb0d6963f7d28e17f72");
}

} // namespace
