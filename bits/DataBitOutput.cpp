// DataBitOutput: bit fields packed into bytes, each written with a one-byte Write once complete.
#include <Ostrel/Core/DataBitOutput.h>

#include <algorithm>

namespace Ostrel::Core
{

namespace
{

constexpr uint64_t kBitsPerByte = 8;

// value >> shift for an 8-bit value: 0 for a shift of 8 or more, which makes counts above 8
// write value zero-extended.
unsigned ShiftRight(uint8_t value, uint64_t shift)
{
    return shift >= kBitsPerByte ? 0u : static_cast<unsigned>(value) >> shift;
}

} // namespace

DataBitOutput::DataBitOutput(const boost::intrusive_ptr<IDataOutput>& output) : m_output(output) {}

DataBitOutput::~DataBitOutput() = default;

void DataBitOutput::WriteBits(uint8_t value, uint64_t count)
{
    while (count != 0)
    {
        // After a Write that threw, no bits are free: this pass takes none and writes the byte again.
        const uint64_t n = std::min(count, m_bitsFreeInByte);
        const unsigned bits = ShiftRight(value, count - n) & ((1u << n) - 1u);
        m_currentByte = static_cast<uint8_t>((static_cast<unsigned>(m_currentByte) << n) | bits);
        count -= n;
        m_bitsFreeInByte -= n;
        if (m_bitsFreeInByte == 0)
        {
            WriteCompletedByte();
        }
    }
}

void DataBitOutput::WriteData(const uint8_t* data, uint64_t size)
{
    for (uint64_t i = 0; i < size; ++i)
    {
        WriteBits(data[i], kBitsPerByte);
    }
}

void DataBitOutput::Flush()
{
    if (m_bitsFreeInByte == kBitsPerByte)
    {
        return;
    }
    if (m_bitsFreeInByte == 0)
    {
        // A completed byte whose Write threw: it is still owed to the output.
        WriteCompletedByte();
        return;
    }
    WriteBits(0, m_bitsFreeInByte);
}

// The state changes only once Write has returned, so a Write that throws leaves the byte here.
void DataBitOutput::WriteCompletedByte()
{
    m_output->Write(&m_currentByte, 1);
    m_bitsFreeInByte = kBitsPerByte;
    m_currentByte = 0;
}

} // namespace Ostrel::Core
