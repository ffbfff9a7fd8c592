// MD5Generate: the MD5 digest of a byte vector, optionally salted.
#pragma once

#include <Ostrel/ZelHashExport.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel::Core
{

// Returns the 16 raw bytes of the MD5 digest of data followed by the bytes of salt, so an empty
// salt gives the plain digest of data (what md5sum prints, as bytes).
// Throws std::runtime_error, with OpenSSL's error text, when libcrypto cannot compute MD5 (for
// example when the loaded providers do not offer it), and std::bad_alloc when it runs out of memory.
ZELHASH_API std::vector<uint8_t> MD5Generate(const std::vector<uint8_t>& data, const std::string& salt);

} // namespace Ostrel::Core
