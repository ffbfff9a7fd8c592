// DataInputMemory: reads a block of memory that the caller owns and keeps alive; nothing is copied.
#pragma once

#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class DataInputMemory : public IDataInput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    // data may be null when size is 0.
    ZELIO_API static boost::intrusive_ptr<IDataInput> Create(const uint8_t* data, uint64_t size);

    uint64_t Read(uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    uint64_t GetSize() override;
    uint64_t GetPosition() override;
    // Throws IOException with ErrorSeek beyond the end; the position then stays.
    void SetPosition(uint64_t position) override;

private:
    DataInputMemory(const uint8_t* data, uint64_t size);
    ~DataInputMemory() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    const uint8_t* m_data;
    uint64_t m_size;
    uint64_t m_position = 0;
    ioPath m_path;
};

} // namespace Ostrel::Core
