// IByteDataInputListener: told by a notifying input (a communication channel) that a frame has
// arrived. The input neither owns nor counts the listener.
#pragma once

#include <Ostrel/ZelIOExport.h>

#include <cstdint>

namespace Ostrel::Core
{

class ZELIO_API IByteDataInputListener
{
public:
    // Called on the channel's reader thread, with the channel's lock held: record or signal the
    // arrival, and do not call back into the same channel from here.
    virtual void OnDataAvailable(uint64_t size) = 0;

protected:
    ~IByteDataInputListener() = default;
};

} // namespace Ostrel::Core
