// DataBitOutput: writes bit fields to a data output, most significant bit first.
#pragma once

#include <Ostrel/Core/IDataOutput.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>

namespace Ostrel::Core
{

// Bits are packed into bytes, and each byte is written to the output with a one-byte Write the
// moment it is complete, starting at the output's current position. A partly filled last byte
// reaches the output only through Flush. The writer never seeks and never locks the output.
class ZELIO_API DataBitOutput
{
public:
    // output must not be null. No stream operation.
    explicit DataBitOutput(const boost::intrusive_ptr<IDataOutput>& output);
    // Releases the output without flushing: pending bits are dropped. Call Flush first to keep them.
    ~DataBitOutput();
    DataBitOutput(const DataBitOutput&) = delete;
    DataBitOutput& operator=(const DataBitOutput&) = delete;

    // Appends the low count bits of value, most significant first. A count above 8 writes value
    // zero-extended to count bits: count - 8 zero bits, then the 8 bits of value.
    // The result of the output's Write is not checked, so a byte the output refuses is lost. If the
    // output's Write throws, the exception propagates and the completed byte stays in the writer;
    // the next call with a non-zero count, or Flush, writes it again first.
    void WriteBits(uint8_t value, uint64_t count);
    // The same as WriteBits(data[i], 8) for each of the size bytes in order; data is not read when
    // size is 0.
    void WriteData(const uint8_t* data, uint64_t size);
    // Pads the pending bits with zero bits to a whole byte and writes it; does nothing when no bits
    // are pending.
    void Flush();

private:
    void WriteCompletedByte();

    boost::intrusive_ptr<IDataOutput> m_output;
    // The bits gathered for the byte being built, right-aligned.
    uint8_t m_currentByte = 0;
    // How many more bits the byte being built takes: 1 to 8 between calls (8: nothing pending), 0
    // only when the output's Write threw on the completed byte.
    uint64_t m_bitsFreeInByte = 8;
};

} // namespace Ostrel::Core
