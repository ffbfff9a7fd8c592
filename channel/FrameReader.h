// FrameReader: reads the parts of a frame from a byte input whose reads may move fewer bytes than
// asked for (one bounded transfer each, as a raw pipe or a standard input does): it reads again
// until the whole part has come or the input gives nothing more.
#pragma once

#include "channel/FrameBuffer.h"

#include <Ostrel/Core/IByteDataInput.h>

#include <cstdint>

namespace Ostrel::Core::detail
{

class FrameReader
{
public:
    explicit FrameReader(IByteDataInput& input) : m_input(input) {}

    // Reads the length field into length; returns how many of its 8 bytes came.
    uint64_t ReadLength(uint64_t& length);

    // Reads a payload of length bytes into buffer and returns how many came. The buffer grows in
    // steps as the bytes arrive, so that a corrupt length costs no more memory than the bytes that
    // really come; it uses the capacity it already has first. Throws std::bad_alloc when a step
    // cannot be had.
    uint64_t ReadPayload(FrameBuffer& buffer, uint64_t length);

private:
    uint64_t ReadFully(uint8_t* data, uint64_t size);

    IByteDataInput& m_input;
};

} // namespace Ostrel::Core::detail
