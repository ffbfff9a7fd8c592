// IByteDataInputOutput: a duplex byte stream, an input and an output in one object.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IByteDataInputOutput : public virtual IByteDataInput, public virtual IByteDataOutput
{
public:
    // Both bases name a Cancel; a duplex stream's one override serves both, and this makes a plain
    // call on the duplex interface unambiguous.
    using IByteDataInput::Cancel;

protected:
    ~IByteDataInputOutput() override = default;
};

} // namespace Ostrel::Core
