// MD5Digest and MD5Generate over the system's CNG (BCrypt) on Windows: one hash object per digest,
// so digests share no state.
#include <Ostrel/Core/MD5.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>

namespace Ostrel::Core
{

namespace
{

constexpr NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017L);
constexpr ULONG kMD5Length = 16;

void Check(NTSTATUS status, const char* step)
{
    if (BCRYPT_SUCCESS(status))
    {
        return;
    }
    if (status == kNoMemory)
    {
        throw std::bad_alloc();
    }
    char text[96];
    std::snprintf(text, sizeof text, "MD5Generate: %s failed: status 0x%08lx", step,
                  static_cast<unsigned long>(status));
    throw std::runtime_error(text);
}

} // namespace

// The CNG MD5 provider and the hash object of one digest.
class MD5Digest::Context
{
public:
    Context()
    {
        Check(BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0),
              "BCryptOpenAlgorithmProvider");
        try
        {
            Start();
        }
        catch (...)
        {
            BCryptCloseAlgorithmProvider(m_algorithm, 0);
            throw;
        }
    }
    ~Context()
    {
        DestroyHash();
        BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    void Start()
    {
        DestroyHash();
        // The system keeps the hash object's memory itself.
        Check(BCryptCreateHash(m_algorithm, &m_hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    }

    void Update(const void* data, std::size_t size)
    {
        auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
        // One call takes at most a ULONG's worth of bytes.
        while (size > 0)
        {
            const auto piece =
                static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
            Check(BCryptHashData(m_hash, bytes, piece, 0), "BCryptHashData");
            bytes += piece;
            size -= piece;
        }
    }

    std::vector<uint8_t> Finish()
    {
        std::vector<uint8_t> digest(kMD5Length);
        Check(BCryptFinishHash(m_hash, digest.data(), kMD5Length, 0), "BCryptFinishHash");
        return digest;
    }

private:
    void DestroyHash() noexcept
    {
        if (m_hash != nullptr)
        {
            BCryptDestroyHash(m_hash);
            m_hash = nullptr;
        }
    }

    BCRYPT_ALG_HANDLE m_algorithm = nullptr;
    BCRYPT_HASH_HANDLE m_hash = nullptr;
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
