// FrameSender: the client end of a pipe with a channel over it, which send writes its frames to,
// one Write each, and ends with the end marker.
#pragma once

#include "Progress.h"

#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/Core/IDataChannel.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace zelio_tool
{

class FrameSender
{
public:
    FrameSender(const std::string& name, bool verbose, Progress& progress);

    // Throws Failure when the receiver has closed the pipe. A frame must not be empty: an empty
    // frame is the end marker.
    void Send(const std::uint8_t* data, std::uint64_t size);
    void SendEndMarker();
    // Interrupts a write that waits for the receiver, from any thread.
    void Cancel();

private:
    const std::string m_name;
    const bool m_verbose;
    Progress& m_progress;
    boost::intrusive_ptr<Ostrel::Core::IByteDataOutput> m_pipe;
    boost::intrusive_ptr<Ostrel::Core::IDataChannel> m_channel;
    std::uint64_t m_sent = 0;
};

} // namespace zelio_tool
