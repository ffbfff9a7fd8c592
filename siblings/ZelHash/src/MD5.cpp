// MD5Generate over OpenSSL's EVP digest interface: one context per call, so calls share no state.
#include <Ostrel/Core/MD5.h>

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>
#include <new>
#include <stdexcept>

namespace Ostrel::Core
{

namespace
{

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

[[noreturn]] void ThrowOpenSslError(const char* step)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = "no error text";
    if (code != 0)
    {
        ERR_error_string_n(code, text, sizeof text);
    }
    throw std::runtime_error(std::string("MD5Generate: ") + step + " failed: " + text);
}

void Check(int status, const char* step)
{
    if (status != 1)
    {
        ThrowOpenSslError(step);
    }
}

} // namespace

std::vector<uint8_t> MD5Generate(const std::vector<uint8_t>& data, const std::string& salt)
{
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context)
    {
        throw std::bad_alloc();
    }
    Check(EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr), "EVP_DigestInit_ex");
    Check(EVP_DigestUpdate(context.get(), data.data(), data.size()), "EVP_DigestUpdate");
    Check(EVP_DigestUpdate(context.get(), salt.data(), salt.size()), "EVP_DigestUpdate");

    std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    Check(EVP_DigestFinal_ex(context.get(), digest.data(), &length), "EVP_DigestFinal_ex");
    digest.resize(length);
    return digest;
}

} // namespace Ostrel::Core
