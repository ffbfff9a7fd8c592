// ByteDataInputRawProtocol: each Read is one raw transfer, so it moves at most the input's buffer size; the
// caller loops for more.
#pragma once

#include <Ostrel/Core/IByteDataInputProtocol.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ByteDataInputRawProtocol : public virtual IByteDataInputProtocol
{
public:
    ByteDataInputRawProtocol();
    ByteDataInputRawProtocol(const ByteDataInputRawProtocol& other);
    ByteDataInputRawProtocol& operator=(const ByteDataInputRawProtocol& other);
    ~ByteDataInputRawProtocol() override;

    void SetByteDataInput(IByteDataInputEx* input) override;
    uint64_t Read(uint8_t* data, uint64_t size) override;

private:
    IByteDataInputEx* m_target = nullptr;
};

} // namespace Ostrel::Core
