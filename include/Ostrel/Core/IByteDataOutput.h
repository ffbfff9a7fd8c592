// IByteDataOutput: a sink of bytes written in order.
#pragma once

#include <Ostrel/IRefCountable.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>

namespace Ostrel::Core
{

class ZELIO_API IByteDataOutput : public virtual IRefCountable
{
public:
    IByteDataOutput();
    IByteDataOutput(const IByteDataOutput&);
    IByteDataOutput& operator=(const IByteDataOutput&);

    // Writes size bytes from data and returns how many were written.
    virtual uint64_t Write(const uint8_t* data, uint64_t size) = 0;
    // Abandons a Write that waits, where the stream can wait at all; the default does nothing.
    virtual void Cancel();

protected:
    ~IByteDataOutput() override;
};

} // namespace Ostrel::Core
