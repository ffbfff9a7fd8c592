// ByteDataInputDefaultProtocol: each Read repeats raw transfers until the whole count has arrived or a
// transfer fails, and returns what arrived.
#pragma once

#include <Ostrel/Core/IByteDataInputProtocol.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ByteDataInputDefaultProtocol : public virtual IByteDataInputProtocol
{
public:
    ByteDataInputDefaultProtocol();
    ByteDataInputDefaultProtocol(const ByteDataInputDefaultProtocol& other);
    ByteDataInputDefaultProtocol& operator=(const ByteDataInputDefaultProtocol& other);
    ~ByteDataInputDefaultProtocol() override;

    void SetByteDataInput(IByteDataInputEx* input) override;
    uint64_t Read(uint8_t* data, uint64_t size) override;

private:
    IByteDataInputEx* m_target = nullptr;
};

} // namespace Ostrel::Core
