// MD5 digests: of a byte vector at once (MD5Generate), or of bytes that come piece by piece
// (MD5Digest), optionally salted.
#pragma once

#include <Ostrel/ZelHashExport.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ostrel::Core
{

// An MD5 digest built piece by piece: the constructor starts it, Update adds bytes, Final adds the
// salt after them and returns the digest. Any split of the same bytes into Updates gives the same
// digest, and one Update with data followed by Final(salt) gives MD5Generate(data, salt).
// Throws std::runtime_error, with the system's error text (OpenSSL's libcrypto; CNG's status on
// Windows), when MD5 cannot be computed (for example when the loaded providers do not offer it),
// and std::bad_alloc when it runs out of memory.
class ZELHASH_API MD5Digest
{
public:
    MD5Digest();
    ~MD5Digest();
    MD5Digest(const MD5Digest&) = delete;
    MD5Digest& operator=(const MD5Digest&) = delete;

    void Update(const uint8_t* data, std::size_t size);
    // The 16 raw bytes of the MD5 digest of every byte given to Update, followed by the bytes of
    // salt. The digest then starts again, empty.
    std::vector<uint8_t> Final(const std::string& salt);

    // The system's digest state, which each platform's MD5 provides.
    class Context;

private:
    std::unique_ptr<Context> m_context;
};

// Returns the 16 raw bytes of the MD5 digest of data followed by the bytes of salt, so an empty
// salt gives the plain digest of data (what md5sum prints, as bytes). Throws as MD5Digest does.
ZELHASH_API std::vector<uint8_t> MD5Generate(const std::vector<uint8_t>& data, const std::string& salt);

} // namespace Ostrel::Core
