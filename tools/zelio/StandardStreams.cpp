// The standard streams of zelio.
#include "StandardStreams.h"

#include <Ostrel/Core/DataStdInput.h>
#include <Ostrel/Core/DataStdOutput.h>

namespace zelio_tool
{

boost::intrusive_ptr<Ostrel::Core::IByteDataInput> OpenStandardInput()
{
    uint64_t bufferSize = 0;
    return Ostrel::Core::DataStdInput::Create(bufferSize);
}

boost::intrusive_ptr<Ostrel::Core::IByteDataOutput> OpenStandardOutput()
{
    uint64_t bufferSize = 0;
    return Ostrel::Core::DataStdOutput::Create(bufferSize);
}

bool WriteWhole(Ostrel::Core::IByteDataOutput& output, const std::uint8_t* data, std::uint64_t size)
{
    while (size > 0)
    {
        const uint64_t written = output.Write(data, size);
        if (written == 0)
        {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace zelio_tool
