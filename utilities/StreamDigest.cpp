// MD5Generate over a data input: one buffer of the input's size, one Read, one digest call.
#include <Ostrel/Core/MD5.h>
#include <Ostrel/Core/StreamDigest.h>

#include "utilities/LargeBuffer.h"

#include <algorithm>

namespace Ostrel::Core
{

std::vector<uint8_t> MD5Generate(const boost::intrusive_ptr<IDataInput>& input, const std::string& salt)
{
    const uint64_t size = input->GetSize();
    std::vector<uint8_t> bytes;
    bytes.reserve(size);
    detail::AdviseLargeBuffer(bytes.data(), size);
    bytes.resize(size);
    // An input that is not at its start delivers fewer bytes than its size: only those are digested.
    const uint64_t delivered = input->Read(bytes.data(), size);
    bytes.resize(std::min(delivered, size));
    return MD5Generate(bytes, salt);
}

} // namespace Ostrel::Core
