// IByteDataInputEx: a byte input that also offers one bounded transfer at a time, for the
// protocol that drives it.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IByteDataInputEx : public virtual IByteDataInput
{
public:
    // One transfer of at most size bytes (and at most GetBufferSize()). On success stores the count
    // through read and returns true; on failure returns false and leaves *read alone.
    virtual bool ReadRaw(uint8_t* data, uint64_t size, uint64_t* read) = 0;
    // The largest number of bytes one ReadRaw moves.
    virtual uint64_t GetBufferSize() = 0;

protected:
    ~IByteDataInputEx() override = default;
};

} // namespace Ostrel::Core
