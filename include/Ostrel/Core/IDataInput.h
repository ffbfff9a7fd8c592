// IDataInput: a seekable byte input with a size, a position, a path and a lock.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/ILockable.h>
#include <Ostrel/ZelIOExport.h>
#include <Ostrel/ioPath.h>

#include <cstdint>

namespace Ostrel::Core
{

class ZELIO_API IDataInput : public virtual IByteDataInput, public virtual ILockable
{
public:
    IDataInput();
    IDataInput(const IDataInput&);
    IDataInput& operator=(const IDataInput&);

    // The stream's file path; empty for streams without a file.
    virtual const ioPath& GetPath() = 0;
    virtual uint64_t GetSize() = 0;
    // The offset at which the next Read starts.
    virtual uint64_t GetPosition() = 0;
    virtual void SetPosition(uint64_t position) = 0;

protected:
    ~IDataInput() override;
};

} // namespace Ostrel::Core
