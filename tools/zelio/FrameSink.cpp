// FrameSink: one frame to its output, digested on the way.
#include "FrameSink.h"

#include "StandardStreams.h"
#include "ToolErrors.h"

namespace zelio_tool
{

FrameSink::FrameSink(Ostrel::Core::IByteDataOutput& output, bool digest) : m_output(output)
{
    if (digest)
    {
        m_digest.emplace();
    }
}

void FrameSink::Take(const std::uint8_t* data, std::uint64_t size)
{
    if (!WriteWhole(m_output, data, size))
    {
        throw Failure("the frames' output was closed");
    }
    if (m_digest)
    {
        m_digest->Update(data, size);
    }
}

std::vector<std::uint8_t> FrameSink::Digest()
{
    return m_digest ? m_digest->Final("") : std::vector<std::uint8_t>();
}

} // namespace zelio_tool
