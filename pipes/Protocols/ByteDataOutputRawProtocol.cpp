// ByteDataOutputRawProtocol: one raw transfer per Write.
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>

#include "pipes/Protocols/TransferLoop.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

ByteDataOutputRawProtocol::ByteDataOutputRawProtocol() = default;
ByteDataOutputRawProtocol::ByteDataOutputRawProtocol(const ByteDataOutputRawProtocol&) = default;
ByteDataOutputRawProtocol& ByteDataOutputRawProtocol::operator=(const ByteDataOutputRawProtocol&) = default;
ByteDataOutputRawProtocol::~ByteDataOutputRawProtocol() = default;

void ByteDataOutputRawProtocol::SetByteDataOutput(IByteDataOutputEx* output)
{
    m_target = output;
}

uint64_t ByteDataOutputRawProtocol::Write(const uint8_t* data, uint64_t size)
{
    if (m_target == nullptr)
    {
        LOG(ERROR) << "Implementation IByteDataOutputEx not defined";
        return 0;
    }
    return detail::TransferOnce(size, [this, data](uint64_t offset, uint64_t remaining, uint64_t* count)
                                { return m_target->WriteRaw(data + offset, remaining, count); });
}

} // namespace Ostrel::Core
