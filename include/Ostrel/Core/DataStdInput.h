// DataStdInput: the process's standard input as a byte input. Each Read is one raw transfer of at
// most 4096 bytes through a pipe input over the standard handle, and Cancel interrupts it. The
// object owns the handle: releasing it closes the process's standard input.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/Core/PipeHandle.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <memory>

namespace Ostrel::Core
{

class SharedPipeHandle;

class DataStdInput : public virtual IByteDataInput
{
    ZELIO_REF_COUNTED_MEMBERS

public:
    // An empty pointer when the process has no standard input, or when a released standard
    // stream has already closed it; bufferSize is then left alone. Otherwise bufferSize receives
    // the largest transfer, 4096. Standard streams over the same handle share it: releasing one
    // does not close it under another.
    ZELIO_API static boost::intrusive_ptr<IByteDataInput> Create(uint64_t& bufferSize);

    uint64_t Read(uint8_t* data, uint64_t size) override;
    // Interrupts the read under way, from any thread, as the pipe input inside does: the standard
    // input is then closed for this stream.
    void Cancel() override;

private:
    DataStdInput();
    ~DataStdInput() override;

    RefCountImpl m_refCount;
    boost::intrusive_ptr<IByteDataInput> m_input;
    PipeHandle m_handle = nullptr;
    std::shared_ptr<SharedPipeHandle> m_share;
};

} // namespace Ostrel::Core
