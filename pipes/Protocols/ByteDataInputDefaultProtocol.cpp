// ByteDataInputDefaultProtocol: reads until the whole count has arrived or a transfer fails.
#include <Ostrel/Core/ByteDataInputDefaultProtocol.h>

#include "pipes/Protocols/TransferLoop.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

ByteDataInputDefaultProtocol::ByteDataInputDefaultProtocol() = default;
ByteDataInputDefaultProtocol::ByteDataInputDefaultProtocol(const ByteDataInputDefaultProtocol&) = default;
ByteDataInputDefaultProtocol&
ByteDataInputDefaultProtocol::operator=(const ByteDataInputDefaultProtocol&) = default;
ByteDataInputDefaultProtocol::~ByteDataInputDefaultProtocol() = default;

void ByteDataInputDefaultProtocol::SetByteDataInput(IByteDataInputEx* input)
{
    m_target = input;
}

uint64_t ByteDataInputDefaultProtocol::Read(uint8_t* data, uint64_t size)
{
    if (m_target == nullptr)
    {
        LOG(ERROR) << "Implementation IByteDataInputEx not defined";
        return 0;
    }
    return detail::TransferAll(size, [this, data](uint64_t offset, uint64_t remaining, uint64_t* count)
                               { return m_target->ReadRaw(data + offset, remaining, count); });
}

} // namespace Ostrel::Core
