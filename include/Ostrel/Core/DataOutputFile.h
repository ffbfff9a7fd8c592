// DataOutputFile: writes a file through the runtime's I/O without a buffer of its own, so that each
// Write reaches the operating system before it returns. Opening creates the missing parent
// directories and empties an existing file; the file is not inherited by child processes.
#pragma once

#include <Ostrel/Core/IDataOutput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <cstdio>
#include <memory>

namespace Ostrel::Core
{

class DataOutputFile : public virtual IDataOutput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    // Throws IOException with ErrorDescription (the system's error text) when the file cannot be
    // opened (a directory among others) or measured; the file may then stay behind, emptied.
    ZELIO_API static boost::intrusive_ptr<IDataOutput> Create(const ioPath& path);

    // Returns size once every byte has reached the system. Throws IOException with the system's
    // error text when it takes fewer (a full device, a size limit): the bytes it did take stay in
    // the file and GetPosition is where they end.
    uint64_t Write(const uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    // The length at opening: always 0.
    uint64_t GetSize() override;
    // Does nothing.
    void SetSize(uint64_t size) override;
    uint64_t GetPosition() override;
    // A position beyond the end is allowed; the next Write extends the file there. Throws
    // IOException with the system's error text when the seek fails.
    void SetPosition(uint64_t position) override;

private:
    explicit DataOutputFile(const ioPath& path);
    ~DataOutputFile() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    ioPath m_path;
    std::shared_ptr<std::FILE> m_file;
    uint64_t m_size = 0;
};

} // namespace Ostrel::Core
