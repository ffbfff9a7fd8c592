// DataInputFile: reads a file through the runtime's buffered I/O. The file stays open for the
// stream's life, is not inherited by child processes, and its size is measured once, when it is
// opened.
#pragma once

#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <cstdio>

namespace Ostrel::Core
{

class DataInputFile : public virtual IDataInput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    // Throws IOException with ErrorFilename, ErrorDescription "Can not open file for reading",
    // ErrorDetails (the system's error text) and ErrorCallStack when the file cannot be opened or
    // is a directory.
    ZELIO_API static boost::intrusive_ptr<IDataInput> Create(const ioPath& path);

    // A short count at the end of the file, or when reading fails.
    uint64_t Read(uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    // The length when the file was opened; later growth is not seen.
    uint64_t GetSize() override;
    uint64_t GetPosition() override;
    // Any position is accepted; beyond the end, the next Read returns 0.
    void SetPosition(uint64_t position) override;

private:
    explicit DataInputFile(const ioPath& path);
    ~DataInputFile() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    ioPath m_path;
    std::FILE* m_file = nullptr;
    uint64_t m_size = 0;
};

} // namespace Ostrel::Core
