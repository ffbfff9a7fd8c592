// IDataOutput: a seekable byte output with a size, a position, a path and a lock.
#pragma once

#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/ILockable.h>
#include <Ostrel/ZelIOExport.h>
#include <Ostrel/ioPath.h>

#include <cstdint>

namespace Ostrel::Core
{

class ZELIO_API IDataOutput : public virtual IByteDataOutput, public virtual ILockable
{
public:
    IDataOutput();
    IDataOutput(const IDataOutput&);
    IDataOutput& operator=(const IDataOutput&);

    virtual const ioPath& GetPath() = 0;
    virtual uint64_t GetSize() = 0;
    // Makes the output exactly size bytes long where the target allows it.
    virtual void SetSize(uint64_t size) = 0;
    // The offset at which the next Write starts.
    virtual uint64_t GetPosition() = 0;
    virtual void SetPosition(uint64_t position) = 0;

protected:
    ~IDataOutput() override;
};

} // namespace Ostrel::Core
