// MD5Generate over a data input: the input is read through one buffer of bounded size, reused
// until the input's remaining bytes have come, and each piece is handed to the digest.
#include <Ostrel/Core/MD5.h>
#include <Ostrel/Core/StreamDigest.h>

#include <algorithm>
#include <memory>

namespace Ostrel::Core
{
namespace
{

// Large enough that each Read and digest step costs little next to the bytes it moves, small
// enough to stay in the processor's cache between the Read that fills it and the digest.
constexpr uint64_t kBufferBytes = 256u << 10;

uint64_t RemainingBytes(IDataInput& input)
{
    const uint64_t size = input.GetSize();
    const uint64_t position = input.GetPosition();
    return size > position ? size - position : 0;
}

} // namespace

std::vector<uint8_t> MD5Generate(const boost::intrusive_ptr<IDataInput>& input, const std::string& salt)
{
    uint64_t remaining = RemainingBytes(*input);
    const uint64_t bufferBytes = std::min(remaining, kBufferBytes);
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufferBytes]);
    MD5Digest digest;
    while (remaining > 0)
    {
        const uint64_t asked = std::min(remaining, bufferBytes);
        const uint64_t got = std::min(input->Read(buffer.get(), asked), asked);
        if (got == 0)
        {
            break;
        }
        digest.Update(buffer.get(), got);
        remaining -= got;
    }
    return digest.Final(salt);
}

} // namespace Ostrel::Core
