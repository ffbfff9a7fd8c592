// The MD5 context over OpenSSL's EVP digest interface: one EVP context per digest.
#include "../MD5Context.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>
#include <new>
#include <stdexcept>

namespace Ostrel::Core
{

namespace
{

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

// The EVP context of one digest, started as MD5.
class OpenSslContext final : public MD5Digest::Context
{
public:
    OpenSslContext() : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
    {
        if (!m_context)
        {
            throw std::bad_alloc();
        }
        Start();
    }

    void Update(const void* data, std::size_t size) override
    {
        Check(EVP_DigestUpdate(m_context.get(), data, size), "EVP_DigestUpdate");
    }

    std::vector<uint8_t> FinishAndRestart() override
    {
        std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
        unsigned int length = 0;
        Check(EVP_DigestFinal_ex(m_context.get(), digest.data(), &length), "EVP_DigestFinal_ex");
        digest.resize(length);
        Start();
        return digest;
    }

private:
    void Start() { Check(EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr), "EVP_DigestInit_ex"); }

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_context;
};

} // namespace

std::unique_ptr<MD5Digest::Context> MD5Digest::Context::Make()
{
    return std::make_unique<OpenSslContext>();
}

} // namespace Ostrel::Core
