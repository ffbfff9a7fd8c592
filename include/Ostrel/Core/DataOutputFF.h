// DataOutputFF: a data output that carries a file path and nothing else. It never creates or
// writes the file: Write returns 0 and every other operation is inert.
#pragma once

#include <Ostrel/Core/IDataOutput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class DataOutputFF : public virtual IDataOutput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    ZELIO_API static boost::intrusive_ptr<IDataOutput> Create(const ioPath& path);

    uint64_t Write(const uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    uint64_t GetSize() override;
    void SetSize(uint64_t size) override;
    uint64_t GetPosition() override;
    void SetPosition(uint64_t position) override;

private:
    explicit DataOutputFF(const ioPath& path);
    ~DataOutputFF() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    ioPath m_path;
};

} // namespace Ostrel::Core
