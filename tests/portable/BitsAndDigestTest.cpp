// Bit fields through a string, and MD5 digests against the test suite of RFC 1321: through the
// digest library (whole, split between data and salt, in pieces) and through a stream.
#include <Ostrel/ZelIO.h>

#include <gtest/gtest.h>

#include <algorithm>
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

// RFC 1321's test suite: from a vector and from a stream; with each message split at every point
// between the data and the salt, which is digested after it; and fed piece by piece to one
// MD5Digest used again and again (Final starts it afresh).
TEST(PortableDigest, Rfc1321SuiteWholeSplitAndInPieces)
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
    MD5Digest reused;
    for (const auto& [message, digest] : suite)
    {
        EXPECT_EQ(Hex(MD5Generate(Bytes(message), "")), digest) << '"' << message << '"';
        const std::string copy = message;
        EXPECT_EQ(Hex(MD5Generate(DataInputString::Create(&copy), "")), digest) << '"' << message << '"';

        const auto* bytes = reinterpret_cast<const uint8_t*>(message.data());
        for (size_t at = 0, piece = 1; at < message.size(); at += piece, piece = piece % 7 + 1)
        {
            reused.Update(bytes + at, std::min(piece, message.size() - at));
        }
        EXPECT_EQ(Hex(reused.Final("")), digest) << '"' << message << "\" in pieces";

        for (size_t split = 0; split <= message.size(); ++split)
        {
            EXPECT_EQ(Hex(MD5Generate(Bytes(message.substr(0, split)), message.substr(split))), digest)
                << '"' << message << "\" split at " << split;
        }
    }
}

} // namespace
