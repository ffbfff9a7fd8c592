// FrameSink: where recv writes one frame as its pieces come, and the frame's MD5 on the way when
// it is asked for.
#pragma once

#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/Core/MD5.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace zelio_tool
{

class FrameSink
{
public:
    FrameSink(Ostrel::Core::IByteDataOutput& output, bool digest);

    // Throws Failure when the output stops taking bytes.
    void Take(const std::uint8_t* data, std::uint64_t size);
    // The MD5 of every byte taken; empty when no digest was asked for.
    std::vector<std::uint8_t> Digest();

private:
    Ostrel::Core::IByteDataOutput& m_output;
    std::optional<Ostrel::Core::MD5Digest> m_digest;
};

} // namespace zelio_tool
