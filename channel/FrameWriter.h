// FrameWriter: puts whole frames on a byte output, one writer at a time. Each frame goes out as
// its length field, then its payload, each written again and again until every byte has gone,
// since an output may take only part of a write (one bounded transfer, as a raw pipe or a standard
// output does). An output that fails part-way leaves a torn frame on the stream, after which the
// peer can never find the next frame's start: the writer then writes nothing more.
#pragma once

#include <Ostrel/Core/IByteDataOutput.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <mutex>

namespace Ostrel::Core::detail
{

class FrameWriter
{
public:
    explicit FrameWriter(boost::intrusive_ptr<IByteDataOutput> output) : m_output(std::move(output)) {}

    // Writes one frame; returns size once the whole frame has gone, 0 when it has not (and from
    // then on, once a frame has been torn). A frame of 0 bytes is the end marker.
    uint64_t Write(const uint8_t* data, uint64_t size);

    IByteDataOutput& Output() const { return *m_output; }

private:
    uint64_t WriteFrame(const uint8_t* data, uint64_t size, uint64_t& sent);
    bool WriteAll(const uint8_t* data, uint64_t size, uint64_t& sent);
    void Tear(uint64_t sent, uint64_t frameBytes);

    const boost::intrusive_ptr<IByteDataOutput> m_output;
    // Held for a whole frame, so that frames of several writers never interleave. It is the
    // writers' own: a write blocked on a full output holds up no reader.
    std::mutex m_mutex;
    bool m_torn = false;
};

} // namespace Ostrel::Core::detail
