// DataStdInput: the standard input through a pipe input with the raw protocol.
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataStdInput.h>

#include "pipes/SharedPipeHandle.h"
#include "streams/StandardHandleShare.h"
#include "streams/StreamMembers.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

ZELIO_DEFINE_REF_COUNTED_MEMBERS(DataStdInput)

boost::intrusive_ptr<IByteDataInput> DataStdInput::Create(uint64_t& bufferSize)
{
    boost::intrusive_ptr<DataStdInput> stream(new DataStdInput);
    auto protocol = std::make_unique<ByteDataInputRawProtocol>();
    // The inner pipe, and any other standard stream over the same handle, share it: none closes it
    // under another.
    stream->m_share = detail::ShareStandardHandle(STD_INPUT_HANDLE);
    if (!stream->m_share)
    {
        return nullptr;
    }
    stream->m_handle = stream->m_share->Get();
    auto input = DataInputPipe::CreateOverShare(stream->m_share, std::move(protocol));
    bufferSize = input->GetBufferSize();
    stream->m_input = input;
    return stream;
}

DataStdInput::DataStdInput() = default;

DataStdInput::~DataStdInput()
{
    m_share.reset();
    m_input.reset();
}

uint64_t DataStdInput::Read(uint8_t* data, uint64_t size)
{
    if (!m_input)
    {
        LOG(ERROR) << "Implementation IByteDataInputEx not defined";
        return 0;
    }
    return m_input->Read(data, size);
}

void DataStdInput::Cancel()
{
    if (m_input)
    {
        m_input->Cancel();
    }
}

} // namespace Ostrel::Core
