// ZelHash's MD5Generate: RFC 1321's test suite as 16 raw bytes, with each message split at every
// point between the data and the salt, which is digested after it.
#include <Ostrel/Core/MD5.h>

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Md5Hex(const std::string& data, const std::string& salt)
{
    const std::vector<uint8_t> digest = Ostrel::Core::MD5Generate({data.begin(), data.end()}, salt);
    std::string text;
    for (const uint8_t byte : digest)
    {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 0xF];
    }
    return digest.size() == 16 ? text : "not 16 bytes: " + text;
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
    for (const auto& [message, md5] : suite)
    {
        for (size_t split = 0; split <= message.size(); ++split)
        {
            EXPECT_EQ(Md5Hex(message.substr(0, split), message.substr(split)), md5)
                << '"' << message << "\" split at " << split;
        }
    }
}

} // namespace
