// ByteDataOutputDefaultProtocol: each Write repeats raw transfers until the whole count has gone or a
// transfer fails, and returns what went.
#pragma once

#include <Ostrel/Core/IByteDataOutputProtocol.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API ByteDataOutputDefaultProtocol : public virtual IByteDataOutputProtocol
{
public:
    ByteDataOutputDefaultProtocol();
    ByteDataOutputDefaultProtocol(const ByteDataOutputDefaultProtocol& other);
    ByteDataOutputDefaultProtocol& operator=(const ByteDataOutputDefaultProtocol& other);
    ~ByteDataOutputDefaultProtocol() override;

    void SetByteDataOutput(IByteDataOutputEx* output) override;
    uint64_t Write(const uint8_t* data, uint64_t size) override;

private:
    IByteDataOutputEx* m_target = nullptr;
};

} // namespace Ostrel::Core
