// DataStdOutput: the standard output through a pipe output with the raw protocol.
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/DataStdOutput.h>

#include "pipes/SharedPipeHandle.h"
#include "streams/StandardHandleShare.h"
#include "streams/StreamMembers.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

ZELIO_DEFINE_REF_COUNTED_MEMBERS(DataStdOutput)

boost::intrusive_ptr<IByteDataOutput> DataStdOutput::Create(uint64_t& bufferSize)
{
    boost::intrusive_ptr<DataStdOutput> stream(new DataStdOutput);
    auto protocol = std::make_unique<ByteDataOutputRawProtocol>();
    // The inner pipe, and any other standard stream over the same handle, share it: none closes it
    // under another.
    stream->m_share = detail::ShareStandardHandle(STD_OUTPUT_HANDLE);
    if (!stream->m_share)
    {
        return nullptr;
    }
    stream->m_handle = stream->m_share->Get();
    auto output = DataOutputPipe::CreateOverShare(stream->m_share, std::move(protocol));
    stream->m_output = output;
    bufferSize = output->GetBufferSize();
    return stream;
}

DataStdOutput::DataStdOutput() = default;

DataStdOutput::~DataStdOutput()
{
    m_share.reset();
    m_output.reset();
}

uint64_t DataStdOutput::Write(const uint8_t* data, uint64_t size)
{
    if (!m_output)
    {
        LOG(ERROR) << "Implementation IByteDataOutputEx not defined";
        return 0;
    }
    return m_output->Write(data, size);
}

} // namespace Ostrel::Core
