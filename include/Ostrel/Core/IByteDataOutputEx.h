// IByteDataOutputEx: a byte output that also offers one bounded transfer at a time, for the
// protocol that drives it.
#pragma once

#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IByteDataOutputEx : public virtual IByteDataOutput
{
public:
    // One transfer of at most size bytes (and at most GetBufferSize()). On success stores the count
    // through written and returns true; on failure returns false and leaves *written alone.
    virtual bool WriteRaw(const uint8_t* data, uint64_t size, uint64_t* written) = 0;
    // The largest number of bytes one WriteRaw moves.
    virtual uint64_t GetBufferSize() = 0;

protected:
    ~IByteDataOutputEx() override = default;
};

} // namespace Ostrel::Core
