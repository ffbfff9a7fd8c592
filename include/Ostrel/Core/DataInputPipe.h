// DataInputPipe: the reading end of a named pipe as a byte input. It creates the pipe (server
// end), opens one another process created (client end), or wraps a handle the caller holds. Each
// raw transfer is one overlapped read of at most 4096 bytes that Cancel, from any thread, can
// interrupt; Read hands the call to the stream's protocol, which decides how many transfers it
// makes. A transfer that finds the other end gone, or that is cancelled, closes the pipe for good:
// later transfers throw std::invalid_argument.
#pragma once

#include <Ostrel/Core/IByteDataInputEx.h>
#include <Ostrel/Core/IByteDataInputProtocol.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/Core/PipeHandle.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <memory>
#include <string>

namespace Ostrel::Core
{

class SharedPipeHandle;
namespace detail
{
struct TransferRecord;
}

class DataInputPipe : public virtual IByteDataInputEx
{
    ZELIO_REF_COUNTED_MEMBERS

public:
    // Creates (server) or opens (client) the pipe of that name, used as given. Throws IOException
    // when it cannot. The protocol must not be null.
    ZELIO_API static boost::intrusive_ptr<IByteDataInputEx>
    Create(const std::string& name, std::unique_ptr<IByteDataInputProtocol> protocol, bool server);
    // The same with the default protocol, whose Read returns only when the whole count has arrived
    // or the pipe has failed.
    ZELIO_API static boost::intrusive_ptr<IByteDataInputEx> Create(const std::string& name, bool server);
    // Wraps a handle the caller holds; the stream never closes it in its destructor, only when a
    // transfer fails.
    ZELIO_API static boost::intrusive_ptr<IByteDataInputEx>
    Create(PipeHandle handle, std::unique_ptr<IByteDataInputProtocol> protocol);
    // Over a handle shared with other streams of the library: the close step lets go of this
    // stream's share, and the handle is closed when the last share goes.
    static boost::intrusive_ptr<IByteDataInputEx>
    CreateOverShare(std::shared_ptr<SharedPipeHandle> handle,
                    std::unique_ptr<IByteDataInputProtocol> protocol);

    uint64_t Read(uint8_t* data, uint64_t size) override;
    // Interrupts the transfer under way, from any thread; a cancel made between two transfers is
    // forgotten.
    void Cancel() override;
    bool ReadRaw(uint8_t* data, uint64_t size, uint64_t* read) override;
    uint64_t GetBufferSize() override;

private:
    DataInputPipe(const std::string& name, bool server);
    DataInputPipe(PipeHandle handle, std::shared_ptr<SharedPipeHandle> share);
    ~DataInputPipe() override;

    static boost::intrusive_ptr<IByteDataInputEx> Install(boost::intrusive_ptr<DataInputPipe> pipe,
                                                          std::unique_ptr<IByteDataInputProtocol> protocol);
    bool FailBeforeWait(uint32_t error);
    bool FailAfterWait(uint32_t error);
    bool Fail(uint32_t error);
    bool CloseStep();

    RefCountImpl m_refCount;
    std::unique_ptr<IByteDataInputProtocol> m_protocol;
    bool m_connectPending = false;
    PipeHandle m_pipe;
    bool m_ownsHandle;
    // The overlapped record of the stream's transfers and the event that interrupts them.
    std::unique_ptr<detail::TransferRecord> m_transfer;
    std::shared_ptr<SharedPipeHandle> m_share;
    // The pipe's name for the errors the stream throws; empty over a handle not opened by name.
    std::string m_name;
};

} // namespace Ostrel::Core
