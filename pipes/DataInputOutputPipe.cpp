// DataInputOutputPipe: a duplex named pipe carried by a pipe input and a pipe output.
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "pipes/PipeErrors.h"
#include "pipes/PipeSteps.h"
#include "pipes/SharedPipeHandle.h"
#include "streams/StreamMembers.h"

#include <glog/logging.h>

#include <algorithm>

namespace Ostrel::Core
{

ZELIO_DEFINE_REF_COUNTED_MEMBERS(DataInputOutputPipe)

boost::intrusive_ptr<IByteDataInputOutput>
DataInputOutputPipe::Create(const std::string& name, std::unique_ptr<IByteDataInputProtocol> inputProtocol,
                            std::unique_ptr<IByteDataOutputProtocol> outputProtocol, bool server,
                            uint64_t& bufferSize)
{
    boost::intrusive_ptr<DataInputOutputPipe> duplex(new DataInputOutputPipe(name, server));
    // Each direction holds a share of the handle, so that one direction's close step ends only
    // its own use of the pipe.
    auto input = DataInputPipe::CreateOverShare(duplex->m_share, std::move(inputProtocol));
    auto output = DataOutputPipe::CreateOverShare(duplex->m_share, std::move(outputProtocol));
    bufferSize = std::max(input->GetBufferSize(), output->GetBufferSize());
    duplex->m_input = input;
    duplex->m_output = output;
    return duplex;
}

boost::intrusive_ptr<IByteDataInputOutput> DataInputOutputPipe::Create(const std::string& name, bool server,
                                                                       uint64_t& bufferSize)
{
    return Create(name, std::make_unique<ByteDataInputRawProtocol>(),
                  std::make_unique<ByteDataOutputRawProtocol>(), server, bufferSize);
}

DataInputOutputPipe::DataInputOutputPipe(const std::string& name, bool server)
{
    SetLastError(0);
    m_pipe = server ? CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                       detail::kPipeBufferSize, detail::kPipeBufferSize, 0, nullptr)
                    : CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    if (m_pipe == INVALID_HANDLE_VALUE)
    {
        const DWORD error = GetLastError();
        ZELIO_THROW_PIPE_ERROR(name, error,
                               "Error " + std::to_string(error) +
                                   (server ? " while creating the pipe " : " while opening the pipe ") + name + ".");
    }
    if (const DWORD error = GetLastError(); error != 0)
    {
        LOG(ERROR) << "Non fatal error " << error << " while creating the in-out pipe " << name << ".";
    }
    m_share = std::make_shared<SharedPipeHandle>(m_pipe, name);
}

DataInputOutputPipe::~DataInputOutputPipe()
{
    // The duplex object's share goes first; the handle closes when the directions let go too.
    m_share.reset();
    m_output.reset();
    m_input.reset();
}

uint64_t DataInputOutputPipe::Read(uint8_t* data, uint64_t size)
{
    if (!m_input)
    {
        LOG(ERROR) << "Implementation IByteDataInputEx not defined";
        return 0;
    }
    return m_input->Read(data, size);
}

uint64_t DataInputOutputPipe::Write(const uint8_t* data, uint64_t size)
{
    if (!m_output)
    {
        LOG(ERROR) << "Implementation IByteDataOutputEx not defined";
        return 0;
    }
    return m_output->Write(data, size);
}

void DataInputOutputPipe::Cancel()
{
    if (m_input)
    {
        m_input->Cancel();
    }
}

} // namespace Ostrel::Core
