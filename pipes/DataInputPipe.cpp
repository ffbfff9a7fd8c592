// DataInputPipe: the reading end of a named pipe, with cancellable overlapped transfers.
#include <Ostrel/Core/ByteDataInputDefaultProtocol.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "pipes/PipeErrors.h"
#include "pipes/PipeSteps.h"
#include "pipes/SharedPipeHandle.h"
#include "streams/StreamMembers.h"

#include <glog/logging.h>

#include <algorithm>
#include <stdexcept>

namespace Ostrel::Core
{

ZELIO_DEFINE_REF_COUNTED_MEMBERS(DataInputPipe)

boost::intrusive_ptr<IByteDataInputEx>
DataInputPipe::Create(const std::string& name, std::unique_ptr<IByteDataInputProtocol> protocol, bool server)
{
    return Install(new DataInputPipe(name, server), std::move(protocol));
}

boost::intrusive_ptr<IByteDataInputEx> DataInputPipe::Create(const std::string& name, bool server)
{
    return Create(name, std::make_unique<ByteDataInputDefaultProtocol>(), server);
}

boost::intrusive_ptr<IByteDataInputEx> DataInputPipe::Create(PipeHandle handle,
                                                             std::unique_ptr<IByteDataInputProtocol> protocol)
{
    return Install(new DataInputPipe(handle, nullptr), std::move(protocol));
}

boost::intrusive_ptr<IByteDataInputEx>
DataInputPipe::CreateOverShare(std::shared_ptr<SharedPipeHandle> handle,
                               std::unique_ptr<IByteDataInputProtocol> protocol)
{
    const HANDLE pipe = handle->Get();
    return Install(new DataInputPipe(pipe, std::move(handle)), std::move(protocol));
}

boost::intrusive_ptr<IByteDataInputEx>
DataInputPipe::Install(boost::intrusive_ptr<DataInputPipe> pipe,
                       std::unique_ptr<IByteDataInputProtocol> protocol)
{
    protocol->SetByteDataInput(pipe.get());
    pipe->m_protocol = std::move(protocol);
    return pipe;
}

DataInputPipe::DataInputPipe(const std::string& name, bool server)
    : m_ownsHandle(true), m_transfer(std::make_unique<detail::TransferRecord>()), m_name(name)
{
    SetLastError(0);
    m_pipe = server ? CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                       detail::kPipeBufferSize, detail::kPipeBufferSize, 0, nullptr)
                    : CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                  nullptr);
    if (m_pipe == INVALID_HANDLE_VALUE)
    {
        const DWORD error = GetLastError();
        ZELIO_THROW_PIPE_ERROR(name, error,
                               "Error " + std::to_string(error) +
                                   (server ? " while creating the pipe " : " while opening the pipe ") + name + ".");
    }
    if (const DWORD error = GetLastError(); error != 0)
    {
        LOG(ERROR) << "Non fatal error " << error << " while creating the data input pipe " << name << ".";
    }
    SetLastError(0);
    m_transfer->interrupt = detail::CreateManualResetEvent();
    if (m_transfer->interrupt == nullptr)
    {
        LOG(ERROR) << "Error " << GetLastError() << " while creating the interrupt event " << name << ".";
    }
    if (const DWORD error = GetLastError(); error != 0)
    {
        LOG(ERROR) << "Non fatal error " << error
                   << " while creating the the interrupt event when creating the data input pipe " << name
                   << ".";
    }
    SetLastError(0);
    m_transfer->overlapped.hEvent = detail::CreateManualResetEvent();
    if (m_transfer->overlapped.hEvent == nullptr)
    {
        LOG(ERROR) << "Error " << GetLastError() << " while creating the overlapped event " << name << ".";
    }
    if (const DWORD error = GetLastError(); error != 0)
    {
        LOG(ERROR) << "Non fatal error " << error
                   << " while creating the the overlapped event when creating the data input pipe " << name
                   << ".";
    }
    m_connectPending = server;
}

DataInputPipe::DataInputPipe(PipeHandle handle, std::shared_ptr<SharedPipeHandle> share)
    : m_pipe(handle), m_ownsHandle(false), m_transfer(std::make_unique<detail::TransferRecord>()),
      m_share(std::move(share)), m_name(m_share ? m_share->Name() : std::string())
{
    SetLastError(0);
    m_transfer->interrupt = detail::CreateManualResetEvent();
    if (m_transfer->interrupt == nullptr)
    {
        LOG(ERROR) << "Error " << GetLastError()
                   << " while creating the interrupt event when creating the data input pipe from handle.";
    }
    if (const DWORD error = GetLastError(); error != 0)
    {
        LOG(ERROR)
            << "Non fatal error " << error
            << " while creating the the interrupt event when creating the data input pipe from handle.";
    }
    SetLastError(0);
    m_transfer->overlapped.hEvent = detail::CreateManualResetEvent();
    if (m_transfer->overlapped.hEvent == nullptr)
    {
        LOG(ERROR) << "Error " << GetLastError()
                   << " while creating the overlapped event  when creating the data input pipe from handle.";
    }
    if (const DWORD error = GetLastError(); error != 0)
    {
        LOG(ERROR)
            << "Non fatal error " << error
            << " while creating the the overlapped event when creating the data input pipe from handle.";
    }
}

DataInputPipe::~DataInputPipe()
{
    SetEvent(m_transfer->interrupt);
    if (m_ownsHandle && m_pipe != INVALID_HANDLE_VALUE)
    {
        CloseHandle(m_pipe);
    }
    detail::CloseEvent(m_transfer->interrupt);
    detail::CloseEvent(m_transfer->overlapped.hEvent);
}

uint64_t DataInputPipe::Read(uint8_t* data, uint64_t size)
{
    if (!m_protocol)
    {
        LOG(ERROR) << "Protocol not defined.";
        return 0;
    }
    return m_protocol->Read(data, size);
}

void DataInputPipe::Cancel()
{
    SetEvent(m_transfer->interrupt);
}

uint64_t DataInputPipe::GetBufferSize()
{
    return detail::kPipeBufferSize;
}

bool DataInputPipe::ReadRaw(uint8_t* data, uint64_t size, uint64_t* read)
{
    if (m_pipe == INVALID_HANDLE_VALUE)
    {
        ZELIO_THROW_PIPE_INVALID(m_name);
    }
    const HANDLE waitList[2] = {m_transfer->interrupt, m_transfer->overlapped.hEvent};
    // A cancel made before this point is forgotten: only one during the transfer ends it.
    ResetEvent(m_transfer->interrupt);
    if (m_connectPending)
    {
        detail::ConnectServerEnd(m_pipe, m_transfer->overlapped, waitList);
        m_connectPending = false;
    }
    SetLastError(0);
    const auto request = static_cast<DWORD>(std::min(size, detail::kPipeBufferSize));
    DWORD transferred = 0;
    detail::TransferPlacement placement(m_transfer->overlapped, m_share);
    if (!ReadFile(m_pipe, data, request, &transferred, &m_transfer->overlapped))
    {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
        {
            return FailBeforeWait(error);
        }
    }
    detail::WaitForTransferOrInterrupt(waitList);
    SetLastError(0);
    if (!GetOverlappedResult(m_pipe, &m_transfer->overlapped, &transferred, FALSE))
    {
        return FailAfterWait(GetLastError());
    }
    placement.Moved(transferred);
    *read = transferred;
    return true;
}

// A read that failed at once.
bool DataInputPipe::FailBeforeWait(uint32_t error)
{
    CancelIo(m_pipe);
    return Fail(error);
}

// A read that failed once its wait had ended: besides the failures a read meets at once, it may
// have been aborted or interrupted.
bool DataInputPipe::FailAfterWait(uint32_t error)
{
    switch (error)
    {
    case ERROR_OPERATION_ABORTED:
        LOG(WARNING) << "Operation aborted";
        return CloseStep();
    case ERROR_IO_INCOMPLETE:
        LOG(WARNING) << "io was canceled";
        detail::CancelTransfer(m_pipe, m_transfer->overlapped);
        return CloseStep();
    default:
        return Fail(error);
    }
}

// The other end gone, or a state the stream cannot read in: logged and closed. Anything else is
// unexpected: logged and thrown, with the pipe left open.
bool DataInputPipe::Fail(uint32_t error)
{
    if (detail::LogReadClosingCondition(error))
    {
        return CloseStep();
    }
    if (error == ERROR_PIPE_LISTENING)
    {
        LOG(WARNING) << "Other end of pipe is closed";
        return CloseStep();
    }
    ZELIO_THROW_PIPE_ERROR(m_name, error, "Error " + std::to_string(error) + " while reading from the pipe.");
}

// Closes the pipe (or lets go of this stream's share of it) after a failed transfer; the stream
// is Closed from here on.
bool DataInputPipe::CloseStep()
{
    return detail::CloseAfterFailure(m_pipe, m_share);
}

} // namespace Ostrel::Core
