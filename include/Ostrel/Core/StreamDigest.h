// MD5Generate over a data input: the MD5 digest of what the input holds from its position on.
#pragma once

#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel::Core
{

// Reads the input from its current position with one Read of GetSize() bytes into memory and
// returns the 16 raw bytes of the MD5 digest of exactly the bytes that Read delivered, followed by
// salt (ZelHash's MD5Generate; an empty salt gives the plain digest, as md5sum prints it). An input
// at its start is digested whole; one at byte p digests its last size - p bytes. The position is
// left where the Read left it. No lock is taken: a caller that shares the input locks it around
// the call. The input's exceptions propagate; a size no vector can hold throws std::length_error,
// and memory exhaustion std::bad_alloc.
ZELIO_API std::vector<uint8_t> MD5Generate(const boost::intrusive_ptr<IDataInput>& input,
                                           const std::string& salt);

} // namespace Ostrel::Core
