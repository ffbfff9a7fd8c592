// INotifyingByteDataInput: a byte input that tells a listener when data has arrived.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataInputListener.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API INotifyingByteDataInput : public virtual IByteDataInput
{
public:
    // null removes the listener; a new listener hears only of data that arrives after the call.
    virtual void SetListener(IByteDataInputListener* listener) = 0;
    virtual bool IsDataAvailable() = 0;
    // The length of the next message: on an input with a reader thread of its own, the length of
    // the message it holds, waiting for one; otherwise the 8-byte length read from the input.
    // 0 when no message will come.
    virtual uint64_t ReadMessageSize() = 0;

protected:
    ~INotifyingByteDataInput() override = default;
};

} // namespace Ostrel::Core
