// DataInputFF: a data input that carries a file path and nothing else. It never opens the file:
// Read returns 0, the size and position are 0, and every seek is accepted and ignored.
#pragma once

#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class DataInputFF : public virtual IDataInput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    // The path need not exist.
    ZELIO_API static boost::intrusive_ptr<IDataInput> Create(const ioPath& path);

    uint64_t Read(uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    uint64_t GetSize() override;
    uint64_t GetPosition() override;
    void SetPosition(uint64_t position) override;

private:
    explicit DataInputFF(const ioPath& path);
    ~DataInputFF() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    ioPath m_path;
};

} // namespace Ostrel::Core
