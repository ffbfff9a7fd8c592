// DataOutputPipe: the writing end of a named pipe as a byte output. It creates the pipe (server
// end), opens one another process created (client end), or wraps a handle the caller holds. Each
// raw transfer is one overlapped write of at most 4096 bytes that Cancel, from any thread, can
// interrupt (a write blocked on a full pipe whose reader does not read); Write hands the call to
// the stream's protocol, which decides how many transfers it makes. A transfer that finds the other
// end gone, or that is cancelled, closes the pipe for good: later transfers throw
// std::invalid_argument.
#pragma once

#include <Ostrel/Core/IByteDataOutputEx.h>
#include <Ostrel/Core/IByteDataOutputProtocol.h>
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

class DataOutputPipe : public virtual IByteDataOutputEx
{
    ZELIO_REF_COUNTED_MEMBERS

public:
    // Creates (server) or opens (client) the pipe of that name, used as given. Throws IOException
    // when it cannot. The protocol must not be null.
    ZELIO_API static boost::intrusive_ptr<IByteDataOutputEx>
    Create(const std::string& name, std::unique_ptr<IByteDataOutputProtocol> protocol, bool server);
    // The same with the default protocol, whose Write returns only when the whole count has gone or
    // the pipe has failed.
    ZELIO_API static boost::intrusive_ptr<IByteDataOutputEx> Create(const std::string& name, bool server);
    // Wraps a handle the caller holds; the stream never closes it in its destructor, only when a
    // transfer fails.
    ZELIO_API static boost::intrusive_ptr<IByteDataOutputEx>
    Create(PipeHandle handle, std::unique_ptr<IByteDataOutputProtocol> protocol);
    // Over a handle shared with other streams of the library: the close step lets go of this
    // stream's share, and the handle is closed when the last share goes.
    static boost::intrusive_ptr<IByteDataOutputEx>
    CreateOverShare(std::shared_ptr<SharedPipeHandle> handle,
                    std::unique_ptr<IByteDataOutputProtocol> protocol);

    uint64_t Write(const uint8_t* data, uint64_t size) override;
    // Interrupts the transfer under way, from any thread; a cancel made between two transfers is
    // forgotten.
    void Cancel() override;
    bool WriteRaw(const uint8_t* data, uint64_t size, uint64_t* written) override;
    uint64_t GetBufferSize() override;

private:
    DataOutputPipe(const std::string& name, bool server);
    DataOutputPipe(PipeHandle handle, std::shared_ptr<SharedPipeHandle> share);
    ~DataOutputPipe() override;

    static boost::intrusive_ptr<IByteDataOutputEx> Install(boost::intrusive_ptr<DataOutputPipe> pipe,
                                                           std::unique_ptr<IByteDataOutputProtocol> protocol);
    void CreateEvents();
    bool FailBeforeWait(uint32_t error);
    bool FailAfterWait(uint32_t error);
    bool Fail(uint32_t error);
    bool CloseStep();

    RefCountImpl m_refCount;
    std::unique_ptr<IByteDataOutputProtocol> m_protocol;
    PipeHandle m_pipe;
    bool m_ownsHandle;
    bool m_connectPending = false;
    // The overlapped record of the stream's transfers and the event that interrupts them.
    std::unique_ptr<detail::TransferRecord> m_transfer;
    std::shared_ptr<SharedPipeHandle> m_share;
    // The pipe's name for the errors the stream throws; empty over a handle not opened by name.
    std::string m_name;
};

} // namespace Ostrel::Core
