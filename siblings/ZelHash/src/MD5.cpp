// MD5Digest and MD5Generate over OpenSSL's EVP digest interface: one context per digest, so
// digests share no state.
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

// The EVP context of one digest, started as MD5.
class MD5Digest::Context
{
public:
    Context() : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
    {
        if (!m_context)
        {
            throw std::bad_alloc();
        }
        Start();
    }

    void Start() { Check(EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr), "EVP_DigestInit_ex"); }
    void Update(const void* data, std::size_t size)
    {
        Check(EVP_DigestUpdate(m_context.get(), data, size), "EVP_DigestUpdate");
    }
    std::vector<uint8_t> Finish()
    {
        std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
        unsigned int length = 0;
        Check(EVP_DigestFinal_ex(m_context.get(), digest.data(), &length), "EVP_DigestFinal_ex");
        digest.resize(length);
        return digest;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_context;
};

MD5Digest::MD5Digest() : m_context(std::make_unique<Context>()) {}

MD5Digest::~MD5Digest() = default;

void MD5Digest::Update(const uint8_t* data, std::size_t size)
{
    m_context->Update(data, size);
}

std::vector<uint8_t> MD5Digest::Final(const std::string& salt)
{
    m_context->Update(salt.data(), salt.size());
    std::vector<uint8_t> digest = m_context->Finish();
    m_context->Start();
    return digest;
}

std::vector<uint8_t> MD5Generate(const std::vector<uint8_t>& data, const std::string& salt)
{
    MD5Digest digest;
    digest.Update(data.data(), data.size());
    return digest.Final(salt);
}

} // namespace Ostrel::Core
