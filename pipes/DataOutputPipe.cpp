// DataOutputPipe: the writing end of a named pipe, with cancellable overlapped transfers.
#include <Ostrel/Core/ByteDataOutputDefaultProtocol.h>
#include <Ostrel/Core/DataOutputPipe.h>
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

ZELIO_DEFINE_REF_COUNTED_MEMBERS(DataOutputPipe)

boost::intrusive_ptr<IByteDataOutputEx>
DataOutputPipe::Create(const std::string& name, std::unique_ptr<IByteDataOutputProtocol> protocol,
                       bool server)
{
    return Install(new DataOutputPipe(name, server), std::move(protocol));
}

boost::intrusive_ptr<IByteDataOutputEx> DataOutputPipe::Create(const std::string& name, bool server)
{
    return Create(name, std::make_unique<ByteDataOutputDefaultProtocol>(), server);
}

boost::intrusive_ptr<IByteDataOutputEx>
DataOutputPipe::Create(PipeHandle handle, std::unique_ptr<IByteDataOutputProtocol> protocol)
{
    return Install(new DataOutputPipe(handle, nullptr), std::move(protocol));
}

boost::intrusive_ptr<IByteDataOutputEx>
DataOutputPipe::CreateOverShare(std::shared_ptr<SharedPipeHandle> handle,
                                std::unique_ptr<IByteDataOutputProtocol> protocol)
{
    const HANDLE pipe = handle->Get();
    return Install(new DataOutputPipe(pipe, std::move(handle)), std::move(protocol));
}

boost::intrusive_ptr<IByteDataOutputEx>
DataOutputPipe::Install(boost::intrusive_ptr<DataOutputPipe> pipe,
                        std::unique_ptr<IByteDataOutputProtocol> protocol)
{
    protocol->SetByteDataOutput(pipe.get());
    pipe->m_protocol = std::move(protocol);
    return pipe;
}

DataOutputPipe::DataOutputPipe(const std::string& name, bool server)
    : m_ownsHandle(true), m_transfer(std::make_unique<detail::TransferRecord>()), m_name(name)
{
    m_pipe = server ? CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                       detail::kPipeBufferSize, detail::kPipeBufferSize, 0, nullptr)
                    : CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    if (m_pipe == INVALID_HANDLE_VALUE)
    {
        const DWORD error = GetLastError();
        ZELIO_THROW_PIPE_ERROR(name, error,
                               "Error " + std::to_string(error) +
                                   (server ? " while creating the pipe " : " while opening the pipe ") + name + ".");
    }
    m_connectPending = server;
    CreateEvents();
}

DataOutputPipe::DataOutputPipe(PipeHandle handle, std::shared_ptr<SharedPipeHandle> share)
    : m_pipe(handle), m_ownsHandle(false), m_transfer(std::make_unique<detail::TransferRecord>()),
      m_share(std::move(share)), m_name(m_share ? m_share->Name() : std::string())
{
    CreateEvents();
}

// A missing event is not reported here: a transfer without its events cannot wait, and its result
// then reports the transfer as interrupted.
void DataOutputPipe::CreateEvents()
{
    m_transfer->interrupt = detail::CreateManualResetEvent();
    m_transfer->overlapped.hEvent = detail::CreateManualResetEvent();
}

DataOutputPipe::~DataOutputPipe()
{
    SetEvent(m_transfer->interrupt);
    if (m_ownsHandle && m_pipe != INVALID_HANDLE_VALUE)
    {
        CloseHandle(m_pipe);
    }
    detail::CloseEvent(m_transfer->interrupt);
    detail::CloseEvent(m_transfer->overlapped.hEvent);
}

uint64_t DataOutputPipe::Write(const uint8_t* data, uint64_t size)
{
    if (!m_protocol)
    {
        LOG(ERROR) << "Protocol not defined.";
        return 0;
    }
    return m_protocol->Write(data, size);
}

void DataOutputPipe::Cancel()
{
    SetEvent(m_transfer->interrupt);
}

uint64_t DataOutputPipe::GetBufferSize()
{
    return detail::kPipeBufferSize;
}

bool DataOutputPipe::WriteRaw(const uint8_t* data, uint64_t size, uint64_t* written)
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
    if (!WriteFile(m_pipe, data, request, &transferred, &m_transfer->overlapped))
    {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
        {
            return FailBeforeWait(error);
        }
    }
    detail::WaitForTransferOrInterrupt(waitList);
    if (!GetOverlappedResult(m_pipe, &m_transfer->overlapped, &transferred, FALSE))
    {
        return FailAfterWait(GetLastError());
    }
    placement.Moved(transferred);
    *written = transferred;
    return true;
}

// A write that failed at once.
bool DataOutputPipe::FailBeforeWait(uint32_t error)
{
    CancelIo(m_pipe);
    return Fail(error);
}

// A write that failed once its wait had ended: besides the failures a write meets at once, it may
// have been interrupted.
bool DataOutputPipe::FailAfterWait(uint32_t error)
{
    if (error != ERROR_IO_INCOMPLETE)
    {
        return Fail(error);
    }
    LOG(WARNING) << "io was canceled";
    detail::CancelTransfer(m_pipe, m_transfer->overlapped);
    return CloseStep();
}

// The other end gone: logged and closed. Anything else is unexpected: logged and thrown, with the
// pipe left open.
bool DataOutputPipe::Fail(uint32_t error)
{
    if (detail::LogWriteClosingCondition(error))
    {
        return CloseStep();
    }
    ZELIO_THROW_PIPE_ERROR(m_name, error, "Error " + std::to_string(error) + " while writing to the pipe.");
}

// Closes the pipe (or lets go of this stream's share of it) after a failed transfer; the stream
// is Closed from here on.
bool DataOutputPipe::CloseStep()
{
    return detail::CloseAfterFailure(m_pipe, m_share);
}

} // namespace Ostrel::Core
