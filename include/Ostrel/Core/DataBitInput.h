// DataBitInput: reads a data input as a sequence of bit fields, most significant bit first.
#pragma once

#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>

namespace Ostrel::Core
{

// Reading starts at the input's current position and only goes forward. The reader holds one byte
// of the input at a time and fetches the next one, with a one-byte Read, only when one of its bits
// is about to be handed out, so the input's position always counts the bytes the reader has
// started. It never seeks and never locks the input: a caller that shares the input locks it
// around the reader's calls.
class ZELIO_API DataBitInput
{
public:
    // input must not be null. No stream operation.
    explicit DataBitInput(const boost::intrusive_ptr<IDataInput>& input);
    // Releases the input without touching it.
    ~DataBitInput();
    DataBitInput(const DataBitInput&) = delete;
    DataBitInput& operator=(const DataBitInput&) = delete;

    // Consumes the next count bits and returns them right-aligned, the first bit consumed being
    // the most significant. count 0 returns 0 and touches nothing. A count above 64 consumes all
    // count bits and returns the last 64 of them.
    // At the end of the input, throws IOException (without records); the bits this call had
    // already consumed are lost and the reader stays usable. The input's own exceptions propagate.
    // Inline, so that bits already held cost no call; also exported from the library.
    ZELIO_INLINE_API inline uint64_t ReadBits(uint64_t count);
    // The bits not yet read: those left in the current byte plus 8 per byte between the input's
    // position and its size (none for a position at or beyond the size).
    uint64_t BitsLeft() const;
    // Drops the rest of the current byte: the next read starts at the next byte of the input.
    void SkipBitsToNextByte();

private:
    // Consumes count (at most 8, and at most the bits left when some are left) bits of the
    // current byte, fetching the next byte first when none are left. Throws IOException for a
    // count above 8 or at the end of the input.
    uint8_t ReadBitsInt(uint64_t count);

    boost::intrusive_ptr<IDataInput> m_input;
    uint8_t m_currentByte = 0;
    // The low-order bits of m_currentByte not yet handed out: 0 to 8.
    uint64_t m_bitsLeftInByte = 0;
};

// Each pass takes what the current byte still holds of the field. A pass that finds the byte used
// up first fetches the next one with a one-byte Read; a Read that does not deliver the byte is
// handed to ReadBitsInt, which reads again and throws at the end of the input.
inline uint64_t DataBitInput::ReadBits(uint64_t count)
{
    uint64_t result = 0;
    while (count != 0)
    {
        if (m_bitsLeftInByte == 0)
        {
            if (m_input->Read(&m_currentByte, 1) == 1)
            {
                m_bitsLeftInByte = 8;
            }
            else
            {
                ReadBitsInt(0);
            }
        }
        const uint64_t n = count < m_bitsLeftInByte ? count : m_bitsLeftInByte;
        count -= n;
        m_bitsLeftInByte -= n;
        const uint64_t bits = (static_cast<unsigned>(m_currentByte) >> m_bitsLeftInByte) & ((1u << n) - 1u);
        // Bits that land beyond the 64th of the result (a count above 64) drop out.
        result |= count < 64 ? bits << count : 0;
    }
    return result;
}

} // namespace Ostrel::Core
