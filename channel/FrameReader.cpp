// FrameReader: whole frame parts from inputs that move part of a request per read.
#include "channel/FrameReader.h"

#include "channel/FrameLength.h"

#include <algorithm>
#include <stdexcept>

namespace Ostrel::Core::detail
{
namespace
{

// The first step of a payload larger than the buffer already holds: a length that no bytes
// follow costs no more than this.
constexpr uint64_t kFirstStep = 1u << 20;

// Where the next step of a payload read ends: the capacity the buffer has, or else twice what has
// arrived (at least the first step), and never beyond the payload.
uint64_t NextStepEnd(uint64_t received, uint64_t length, uint64_t capacity)
{
    const uint64_t grown = received + std::max(kFirstStep, received);
    return std::min(length, std::max(capacity, grown));
}

// Makes buffer size bytes long, keeping its first kept bytes, with no more capacity than that.
void Resize(FrameBuffer& buffer, uint64_t kept, uint64_t size)
{
    if (size > buffer.capacity())
    {
        if (kept == 0)
        {
            // Nothing to keep: the old block goes before the new one is taken.
            FrameBuffer().swap(buffer);
        }
        buffer.reserve(size);
    }
    buffer.resize(size);
}

} // namespace

uint64_t FrameReader::ReadLength(uint64_t& length)
{
    uint8_t bytes[kLengthBytes] = {};
    const uint64_t received = ReadFully(bytes, kLengthBytes);
    length = DecodeLength(bytes);
    return received;
}

uint64_t FrameReader::ReadPayload(FrameBuffer& buffer, uint64_t length)
{
    uint64_t received = 0;
    while (received < length)
    {
        const uint64_t stepEnd = NextStepEnd(received, length, buffer.capacity());
        Resize(buffer, received, stepEnd);
        const uint64_t got = ReadFully(buffer.data() + received, stepEnd - received);
        received += got;
        if (received != stepEnd)
        {
            break;
        }
    }
    return received;
}

// A pipe closes itself after a transfer that fails, and the read that follows throws
// std::invalid_argument; its short read has already said that the input is gone, so the throw
// only ends the part. Any other exception, or that one without a short read before it, passes.
uint64_t FrameReader::ReadFully(uint8_t* data, uint64_t size)
{
    uint64_t total = 0;
    bool lastReadShort = false;
    while (total < size)
    {
        uint64_t got = 0;
        try
        {
            got = std::min(m_input.Read(data + total, size - total), size - total);
        }
        catch (const std::invalid_argument&)
        {
            if (!lastReadShort)
            {
                throw;
            }
        }
        if (got == 0)
        {
            break;
        }
        lastReadShort = got < size - total;
        total += got;
    }
    return total;
}

} // namespace Ostrel::Core::detail
