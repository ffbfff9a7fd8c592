// ByteDataOutputRawProtocol: each Write is one raw transfer, so it moves at most the output's buffer size;
// the caller loops for more.
#pragma once

#include <Ostrel/Core/IByteDataOutputProtocol.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ByteDataOutputRawProtocol : public virtual IByteDataOutputProtocol
{
public:
    ByteDataOutputRawProtocol();
    ByteDataOutputRawProtocol(const ByteDataOutputRawProtocol& other);
    ByteDataOutputRawProtocol& operator=(const ByteDataOutputRawProtocol& other);
    ~ByteDataOutputRawProtocol() override;

    void SetByteDataOutput(IByteDataOutputEx* output) override;
    uint64_t Write(const uint8_t* data, uint64_t size) override;

private:
    IByteDataOutputEx* m_target = nullptr;
};

} // namespace Ostrel::Core
