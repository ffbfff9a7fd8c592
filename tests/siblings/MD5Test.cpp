// ZelHash's digests: RFC 1321's test suite as 16 raw bytes, with each message split at every point
// between the data and the salt, which is digested after it, and fed piece by piece to one
// MD5Digest used again and again.
#include <Ostrel/Core/MD5.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{

std::string Hex(const std::vector<uint8_t>& digest)
{
    std::string text;
    for (const uint8_t byte : digest)
    {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 0xF];
    }
    return digest.size() == 16 ? text : "not 16 bytes: " + text;
}

std::string Md5Hex(const std::string& data, const std::string& salt)
{
    return Hex(Ostrel::Core::MD5Generate({data.begin(), data.end()}, salt));
}

TEST(MD5Generate, Rfc1321SuiteWhereverTheMessageIsSplitBetweenDataAndSalt)
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
    Ostrel::Core::MD5Digest reused;
    for (const auto& [message, md5] : suite)
    {
        const auto* bytes = reinterpret_cast<const uint8_t*>(message.data());
        for (size_t at = 0, piece = 1; at < message.size(); at += piece, piece = piece % 7 + 1)
        {
            reused.Update(bytes + at, std::min(piece, message.size() - at));
        }
        EXPECT_EQ(Hex(reused.Final("")), md5) << '"' << message << "\" in pieces";

        for (size_t split = 0; split <= message.size(); ++split)
        {
            EXPECT_EQ(Md5Hex(message.substr(0, split), message.substr(split)), md5)
                << '"' << message << "\" split at " << split;
        }
    }
}

} // namespace
