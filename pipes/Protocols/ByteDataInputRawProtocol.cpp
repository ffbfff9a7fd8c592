// ByteDataInputRawProtocol: one raw transfer per Read.
#include <Ostrel/Core/ByteDataInputRawProtocol.h>

#include "pipes/Protocols/TransferLoop.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

ByteDataInputRawProtocol::ByteDataInputRawProtocol() = default;
ByteDataInputRawProtocol::ByteDataInputRawProtocol(const ByteDataInputRawProtocol&) = default;
ByteDataInputRawProtocol& ByteDataInputRawProtocol::operator=(const ByteDataInputRawProtocol&) = default;
ByteDataInputRawProtocol::~ByteDataInputRawProtocol() = default;

void ByteDataInputRawProtocol::SetByteDataInput(IByteDataInputEx* input)
{
    m_target = input;
}

uint64_t ByteDataInputRawProtocol::Read(uint8_t* data, uint64_t size)
{
    if (m_target == nullptr)
    {
        LOG(ERROR) << "Implementation IByteDataInputEx not defined";
        return 0;
    }
    return detail::TransferOnce(size, [this, data](uint64_t offset, uint64_t remaining, uint64_t* count)
                                { return m_target->ReadRaw(data + offset, remaining, count); });
}

} // namespace Ostrel::Core
