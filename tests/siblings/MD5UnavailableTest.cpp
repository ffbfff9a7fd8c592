// ZelHash's MD5Generate where libcrypto offers no MD5 (configured with no provider of digests, as
// a strict FIPS setup would be): std::runtime_error with OpenSSL's reason, never a made-up digest.
// An executable of its own, since OpenSSL reads its configuration once per process.
#include <Ostrel/Core/MD5.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

TEST(MD5Generate, ThrowsWithOpenSslsReasonWhenMD5IsUnavailable)
{
    ASSERT_EQ(setenv("OPENSSL_CONF", ZELIO_WITHOUT_MD5_CONF, 1), 0);
    try
    {
        Ostrel::Core::MD5Generate({'a', 'b', 'c'}, "");
        ADD_FAILURE() << "a digest was returned without MD5";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_NE(std::string(e.what()).find("unsupported"), std::string::npos) << e.what();
    }
}
