// IByteDataInput: a source of bytes read in order (a pipe, a standard handle, a channel, or any
// data input).
#pragma once

#include <Ostrel/IRefCountable.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>

namespace Ostrel::Core
{

class ZELIO_API IByteDataInput : public virtual IRefCountable
{
public:
    // Copies at most size bytes into data and returns how many it copied. Each stream says what a
    // short count means for it; for memory, string and file inputs, 0 for a request of more than
    // 0 bytes is the end of the source.
    virtual uint64_t Read(uint8_t* data, uint64_t size) = 0;
    // Abandons a Read that waits for data, where the stream can wait at all.
    virtual void Cancel() {}

protected:
    // Streams are destroyed only by their last Release.
    ~IByteDataInput() override = default;
};

} // namespace Ostrel::Core
