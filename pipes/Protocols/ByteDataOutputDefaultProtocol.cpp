// ByteDataOutputDefaultProtocol: writes until the whole count has gone or a transfer fails.
#include <Ostrel/Core/ByteDataOutputDefaultProtocol.h>

#include "pipes/Protocols/TransferLoop.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

ByteDataOutputDefaultProtocol::ByteDataOutputDefaultProtocol() = default;
ByteDataOutputDefaultProtocol::ByteDataOutputDefaultProtocol(const ByteDataOutputDefaultProtocol&) = default;
ByteDataOutputDefaultProtocol&
ByteDataOutputDefaultProtocol::operator=(const ByteDataOutputDefaultProtocol&) = default;
ByteDataOutputDefaultProtocol::~ByteDataOutputDefaultProtocol() = default;

void ByteDataOutputDefaultProtocol::SetByteDataOutput(IByteDataOutputEx* output)
{
    m_target = output;
}

uint64_t ByteDataOutputDefaultProtocol::Write(const uint8_t* data, uint64_t size)
{
    if (m_target == nullptr)
    {
        LOG(ERROR) << "Implementation IByteDataOutputEx not defined";
        return 0;
    }
    return detail::TransferAll(size, [this, data](uint64_t offset, uint64_t remaining, uint64_t* count)
                               { return m_target->WriteRaw(data + offset, remaining, count); });
}

} // namespace Ostrel::Core
