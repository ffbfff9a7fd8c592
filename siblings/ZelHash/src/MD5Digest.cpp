// MD5Digest and MD5Generate over the platform's MD5 context.
#include "MD5Context.h"

namespace Ostrel::Core
{

MD5Digest::MD5Digest() : m_context(Context::Make()) {}

MD5Digest::~MD5Digest() = default;

void MD5Digest::Update(const uint8_t* data, std::size_t size)
{
    m_context->Update(data, size);
}

std::vector<uint8_t> MD5Digest::Final(const std::string& salt)
{
    m_context->Update(salt.data(), salt.size());
    return m_context->FinishAndRestart();
}

std::vector<uint8_t> MD5Generate(const std::vector<uint8_t>& data, const std::string& salt)
{
    MD5Digest digest;
    digest.Update(data.data(), data.size());
    return digest.Final(salt);
}

} // namespace Ostrel::Core
