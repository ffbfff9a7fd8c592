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

// Returns the 16 raw bytes of the MD5 digest of the input's bytes from its current position on,
// followed by salt (an empty salt gives the plain digest, as md5sum prints it). The input is read
// through one buffer of at most 256 KiB, whatever its size, until GetSize() - GetPosition() bytes
// have come or a Read returns 0; an input whose Read delivers fewer bytes than asked is read on.
// The position is left where the reads left it (at the end, for an input read whole). No lock is
// taken: a caller that shares the input locks it around the call. The input's exceptions
// propagate, and those of ZelHash's MD5Digest.
ZELIO_API std::vector<uint8_t> MD5Generate(const boost::intrusive_ptr<IDataInput>& input,
                                           const std::string& salt);

} // namespace Ostrel::Core
