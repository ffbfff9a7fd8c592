// DataStdOutput: the process's standard output as a byte output. Each Write is one raw transfer of at
// most 4096 bytes through a pipe output over the standard handle. The object owns the handle:
// releasing it closes the process's standard output (its reader sees the end).
#pragma once

#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/Core/PipeHandle.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <memory>

namespace Ostrel::Core
{

class SharedPipeHandle;

class DataStdOutput : public virtual IByteDataOutput
{
    ZELIO_REF_COUNTED_MEMBERS

public:
    // An empty pointer when the process has no standard output, or when a released standard
    // stream has already closed it; bufferSize is then left alone. Otherwise bufferSize receives
    // the largest transfer, 4096. Standard streams over the same handle share it: releasing one
    // does not close it under another.
    ZELIO_API static boost::intrusive_ptr<IByteDataOutput> Create(uint64_t& bufferSize);

    uint64_t Write(const uint8_t* data, uint64_t size) override;

private:
    DataStdOutput();
    ~DataStdOutput() override;

    RefCountImpl m_refCount;
    boost::intrusive_ptr<IByteDataOutput> m_output;
    PipeHandle m_handle = nullptr;
    std::shared_ptr<SharedPipeHandle> m_share;
};

} // namespace Ostrel::Core
