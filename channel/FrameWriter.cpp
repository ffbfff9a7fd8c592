// FrameWriter: whole frames, one writer at a time, on outputs that take part of a write per call.
#include "channel/FrameWriter.h"

#include "channel/FrameLength.h"

#include <glog/logging.h>

#include <algorithm>
#include <stdexcept>

namespace Ostrel::Core::detail
{

uint64_t FrameWriter::Write(const uint8_t* data, uint64_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_torn)
    {
        return 0;
    }
    uint64_t sent = 0;
    try
    {
        return WriteFrame(data, size, sent);
    }
    catch (...)
    {
        if (sent > 0)
        {
            Tear(sent, kLengthBytes + size);
        }
        throw;
    }
}

// sent counts the bytes of an unfinished frame that have gone, for the caller to judge an
// exception by.
uint64_t FrameWriter::WriteFrame(const uint8_t* data, uint64_t size, uint64_t& sent)
{
    uint8_t length[kLengthBytes];
    EncodeLength(size, length);
    if (!WriteAll(length, kLengthBytes, sent))
    {
        // With none of the frame gone the stream is still whole: the next frame can be written.
        if (sent > 0)
        {
            Tear(sent, kLengthBytes + size);
        }
        return 0;
    }
    if (size == 0)
    {
        // The end marker is whole with its length; its empty payload goes as a write of its own.
        sent = 0;
        m_output->Write(data, 0);
        return 0;
    }
    if (!WriteAll(data, size, sent))
    {
        Tear(sent, kLengthBytes + size);
        return 0;
    }
    return size;
}

// Writes until every byte has gone (true) or the output takes nothing, adding what goes to sent. A
// pipe closes itself after a transfer that fails, and the write that follows throws
// std::invalid_argument; its short write has already said that the output is gone, so the throw
// only ends the loop.
bool FrameWriter::WriteAll(const uint8_t* data, uint64_t size, uint64_t& sent)
{
    uint64_t done = 0;
    bool lastWriteShort = false;
    while (done < size)
    {
        uint64_t taken = 0;
        try
        {
            taken = std::min(m_output->Write(data + done, size - done), size - done);
        }
        catch (const std::invalid_argument&)
        {
            if (!lastWriteShort)
            {
                throw;
            }
        }
        if (taken == 0)
        {
            return false;
        }
        lastWriteShort = taken < size - done;
        done += taken;
        sent += taken;
    }
    return true;
}

void FrameWriter::Tear(uint64_t sent, uint64_t frameBytes)
{
    m_torn = true;
    LOG(ERROR) << "The communication channel wrote " << sent << " of the " << frameBytes
               << " bytes of a frame: the stream can never be re-synchronised, and the channel writes "
                  "nothing more.";
}

} // namespace Ostrel::Core::detail
