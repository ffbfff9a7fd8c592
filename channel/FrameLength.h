// The length field that opens every frame: 8 bytes, the length as an unsigned 64-bit number,
// least significant byte first.
#pragma once

#include <cstdint>

namespace Ostrel::Core::detail
{

constexpr uint64_t kLengthBytes = 8;

inline void EncodeLength(uint64_t length, uint8_t (&bytes)[kLengthBytes])
{
    for (uint64_t i = 0; i < kLengthBytes; ++i)
    {
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

inline uint64_t DecodeLength(const uint8_t (&bytes)[kLengthBytes])
{
    uint64_t length = 0;
    for (uint64_t i = 0; i < kLengthBytes; ++i)
    {
        length |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return length;
}

} // namespace Ostrel::Core::detail
