// FrameSender: frames through a channel over the client end of a pipe.
#include "FrameSender.h"

#include "FailureText.h"
#include "FrameReport.h"
#include "ToolErrors.h"

#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/MD5.h>

using namespace Ostrel::Core;

namespace zelio_tool
{

namespace
{

// The channel is given an input that it never reads: it only writes, and reads nothing back.
const uint8_t kNothing = 0;

} // namespace

FrameSender::FrameSender(const std::string& name, bool verbose, Progress& progress)
    : m_name(name), m_verbose(verbose), m_progress(progress)
{
    try
    {
        m_pipe = DataOutputPipe::Create(name, false);
    }
    catch (const IOException& error)
    {
        throw Failure("cannot open " + name + ": " + FailureText(error));
    }
    m_channel = CommunicationChannel::Create(DataInputMemory::Create(&kNothing, 0), m_pipe, false);
}

void FrameSender::Send(const std::uint8_t* data, std::uint64_t size)
{
    if (m_channel->Write(data, size) != size)
    {
        throw Failure("the receiver closed " + m_name + " after " + std::to_string(m_sent) + " frames");
    }
    ++m_sent;
    m_progress.Add(size);
    if (m_verbose)
    {
        MD5Digest digest;
        digest.Update(data, size);
        ReportFrame(m_sent, size, digest.Final(""));
    }
}

void FrameSender::SendEndMarker()
{
    m_channel->Write(&kNothing, 0);
}

void FrameSender::Cancel()
{
    m_pipe->Cancel();
}

} // namespace zelio_tool
