// IByteDataOutputProtocol: decides how many raw transfers one Write of a pipe output makes. Owned
// by the pipe through std::unique_ptr; points back at the pipe without a reference.
#pragma once

#include <Ostrel/Core/IByteDataOutputEx.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IByteDataOutputProtocol
{
public:
    virtual ~IByteDataOutputProtocol() = default;
    virtual uint64_t Write(const uint8_t* data, uint64_t size) = 0;
    // The output the transfers go to; null is accepted and stored. No reference is taken.
    virtual void SetByteDataOutput(IByteDataOutputEx* output) = 0;
};

} // namespace Ostrel::Core
