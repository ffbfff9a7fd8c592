// DataBitInput: bit fields read from a data input, one one-byte Read per byte consumed.
#include <Ostrel/Core/DataBitInput.h>
#include <Ostrel/Core/IOException.h>

#include <boost/assert/source_location.hpp>
#include <boost/throw_exception.hpp>

namespace Ostrel::Core
{

namespace
{

constexpr uint64_t kBitsPerByte = 8;

// Throws IOException without records, from the location given. Kept out of line and cold, so that
// ReadBitsInt stays small enough to be inlined into ReadBits: the per-byte path then costs the
// one-byte Read and a few instructions.
[[noreturn, gnu::cold, gnu::noinline]] void ThrowIOException(const boost::source_location& where)
{
    boost::throw_exception(IOException(), where);
}

} // namespace

DataBitInput::DataBitInput(const boost::intrusive_ptr<IDataInput>& input) : m_input(input) {}

DataBitInput::~DataBitInput() = default;

// An out-of-line copy of the inline ReadBits, exported for callers that do not inline it.
[[gnu::used]] static uint64_t (DataBitInput::*const kExportedReadBits)(uint64_t) = &DataBitInput::ReadBits;

uint64_t DataBitInput::BitsLeft() const
{
    const uint64_t position = m_input->GetPosition();
    const uint64_t size = m_input->GetSize();
    // A file input may stand beyond its size (it was seeked there, or the file grew after it was
    // measured): no whole bytes are left then.
    const uint64_t bytesLeft = position < size ? size - position : 0;
    return m_bitsLeftInByte + bytesLeft * kBitsPerByte;
}

void DataBitInput::SkipBitsToNextByte()
{
    m_bitsLeftInByte = 0;
}

uint8_t DataBitInput::ReadBitsInt(uint64_t count)
{
    if (count > kBitsPerByte)
    {
        static constexpr boost::source_location kTooManyBits = BOOST_CURRENT_LOCATION;
        ThrowIOException(kTooManyBits);
    }
    if (m_bitsLeftInByte == 0)
    {
        if (m_input->Read(&m_currentByte, 1) != 1)
        {
            static constexpr boost::source_location kEndOfData = BOOST_CURRENT_LOCATION;
            ThrowIOException(kEndOfData);
        }
        m_bitsLeftInByte = kBitsPerByte;
    }
    m_bitsLeftInByte -= count;
    const unsigned mask = (1u << count) - 1u;
    return static_cast<uint8_t>((m_currentByte >> m_bitsLeftInByte) & mask);
}

} // namespace Ostrel::Core
