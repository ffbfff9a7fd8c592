// The MD5 context over the system's CNG (BCrypt) on Windows: one hash object per digest.
#include "../MD5Context.h"

#include <Ostrel/Platform/Windows.h>

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

// The CNG MD5 provider and the hash object of one digest.
class CngContext final : public MD5Digest::Context
{
public:
    CngContext()
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
    ~CngContext() override
    {
        DestroyHash();
        BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
    CngContext(const CngContext&) = delete;
    CngContext& operator=(const CngContext&) = delete;

    void Update(const void* data, std::size_t size) override
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

    std::vector<uint8_t> FinishAndRestart() override
    {
        std::vector<uint8_t> digest(kMD5Length);
        Check(BCryptFinishHash(m_hash, digest.data(), kMD5Length, 0), "BCryptFinishHash");
        Start();
        return digest;
    }

private:
    void Start()
    {
        DestroyHash();
        // The system keeps the hash object's memory itself.
        Check(BCryptCreateHash(m_algorithm, &m_hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    }

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

} // namespace

std::unique_ptr<MD5Digest::Context> MD5Digest::Context::Make()
{
    return std::make_unique<CngContext>();
}

} // namespace Ostrel::Core
