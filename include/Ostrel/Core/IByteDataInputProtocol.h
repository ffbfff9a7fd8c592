// IByteDataInputProtocol: decides how many raw transfers one Read of a pipe input makes. Owned by
// the pipe through std::unique_ptr; points back at the pipe without a reference.
#pragma once

#include <Ostrel/Core/IByteDataInputEx.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IByteDataInputProtocol
{
public:
    virtual ~IByteDataInputProtocol() = default;
    virtual uint64_t Read(uint8_t* data, uint64_t size) = 0;
    // The input the transfers go to; null is accepted and stored. No reference is taken.
    virtual void SetByteDataInput(IByteDataInputEx* input) = 0;
};

} // namespace Ostrel::Core
