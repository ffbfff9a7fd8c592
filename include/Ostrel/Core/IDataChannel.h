// IDataChannel: the duplex view of a communication channel, a notifying input and a byte output.
#pragma once

#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/Core/INotifyingByteDataInput.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IDataChannel : public virtual INotifyingByteDataInput, public virtual IByteDataOutput
{
public:
    // Both bases name a Cancel; the channel's one override serves both, and this makes a plain call
    // on the channel interface unambiguous.
    using INotifyingByteDataInput::Cancel;

protected:
    ~IDataChannel() override = default;
};

} // namespace Ostrel::Core
