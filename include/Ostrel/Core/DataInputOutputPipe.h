// DataInputOutputPipe: both directions of one named pipe in one stream. It creates or opens one
// duplex pipe and builds a pipe input and a pipe output over it; reads go to the one, writes to
// the other, and one thread may read while another writes. Cancel interrupts a read only. When one
// direction closes after a failed or cancelled transfer, the other goes on: the pipe is closed
// when the duplex object and both directions are done with it.
//
// A server end makes no connect step: let the client open the pipe before the first transfer.
#pragma once

#include <Ostrel/Core/IByteDataInputOutput.h>
#include <Ostrel/Core/IByteDataInputProtocol.h>
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

class DataInputOutputPipe : public virtual IByteDataInputOutput
{
    ZELIO_REF_COUNTED_MEMBERS

public:
    // Creates (server) or opens (client) the duplex pipe of that name; bufferSize receives the
    // largest transfer, 4096. Throws IOException when the pipe cannot be made or opened. Neither
    // protocol may be null.
    ZELIO_API static boost::intrusive_ptr<IByteDataInputOutput>
    Create(const std::string& name, std::unique_ptr<IByteDataInputProtocol> inputProtocol,
           std::unique_ptr<IByteDataOutputProtocol> outputProtocol, bool server, uint64_t& bufferSize);
    // The same with the raw protocols: each Read or Write is one transfer of at most 4096 bytes.
    ZELIO_API static boost::intrusive_ptr<IByteDataInputOutput> Create(const std::string& name, bool server,
                                                                       uint64_t& bufferSize);

    uint64_t Read(uint8_t* data, uint64_t size) override;
    uint64_t Write(const uint8_t* data, uint64_t size) override;
    // Interrupts a read under way; a write goes on.
    void Cancel() override;

private:
    DataInputOutputPipe(const std::string& name, bool server);
    ~DataInputOutputPipe() override;

    RefCountImpl m_refCount;
    boost::intrusive_ptr<IByteDataInput> m_input;
    boost::intrusive_ptr<IByteDataOutput> m_output;
    PipeHandle m_pipe;
    std::shared_ptr<SharedPipeHandle> m_share;
};

} // namespace Ostrel::Core
