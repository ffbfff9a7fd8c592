// PipeEnds: creating, opening and closing the pipe of cat and serve.
#include "PipeEnds.h"

#include "FailureText.h"
#include "Interruption.h"
#include "ToolErrors.h"

#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/ByteDataOutputDefaultProtocol.h>
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IOException.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

using namespace Ostrel::Core;

namespace zelio_tool
{

namespace
{

constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kNoClientYet = 536;
constexpr std::chrono::milliseconds kFirstLook{1};
constexpr std::chrono::milliseconds kLongestLook{50};

} // namespace

PipeEnds PipeEnds::Serve(const std::string& name, Direction direction, const std::function<void()>& listening)
{
    PipeEnds ends;
    try
    {
        uint64_t bufferSize = 0;
        switch (direction)
        {
        case Direction::In:
            ends.m_input = DataInputPipe::Create(name, std::make_unique<ByteDataInputRawProtocol>(), true);
            break;
        case Direction::Out:
            ends.m_output = DataOutputPipe::Create(name, true);
            break;
        case Direction::Duplex:
        {
            auto duplex = DataInputOutputPipe::Create(name, std::make_unique<ByteDataInputRawProtocol>(),
                                                      std::make_unique<ByteDataOutputDefaultProtocol>(), true,
                                                      bufferSize);
            ends.m_input = duplex;
            ends.m_output = duplex;
            break;
        }
        }
    }
    catch (const IOException& error)
    {
        throw Failure("cannot create " + name + ": " + FailureText(error));
    }
    listening();
    ends.WaitForClient(direction);
    return ends;
}

void PipeEnds::WaitForClient(Direction direction)
{
    const Interruption::Scope cancel([this] { Cancel(); });
    if (direction == Direction::Duplex)
    {
        WaitForDuplexClient();
        return;
    }
    if (direction == Direction::Out && !Interruption::Requested())
    {
        // A write of nothing makes the connect step, which waits for the client.
        const uint8_t nothing = 0;
        m_output->Write(&nothing, 0);
    }
    // A reading server meets its client in its first read.
}

// A duplex server end has no connect step: its transfers fail until the client has come. A write
// of nothing tells, without closing the pipe, whether it has.
void PipeEnds::WaitForDuplexClient()
{
    const uint8_t nothing = 0;
    std::chrono::milliseconds pause = kFirstLook;
    while (!Interruption::Requested())
    {
        try
        {
            m_output->Write(&nothing, 0);
            return;
        }
        catch (const IOException& error)
        {
            if (SystemCodeOf(error) != kNoClientYet)
            {
                throw;
            }
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestLook);
    }
}

PipeEnds PipeEnds::Open(const std::string& name, Direction direction)
{
    try
    {
        return OpenOrThrow(name, direction);
    }
    catch (const IOException& error)
    {
        throw Failure("cannot open " + name + ": " + FailureText(error));
    }
}

PipeEnds PipeEnds::OpenAsOffered(const std::string& name)
{
    // A server that does not offer the directions asked for refuses before any connection is made,
    // so asking again costs it nothing.
    for (const Direction direction : {Direction::Duplex, Direction::In})
    {
        try
        {
            return OpenOrThrow(name, direction);
        }
        catch (const IOException& error)
        {
            if (SystemCodeOf(error) != kAccessDenied)
            {
                throw Failure("cannot open " + name + ": " + FailureText(error));
            }
        }
    }
    return Open(name, Direction::Out);
}

PipeEnds PipeEnds::OpenOrThrow(const std::string& name, Direction direction)
{
    PipeEnds ends;
    uint64_t bufferSize = 0;
    switch (direction)
    {
    case Direction::In:
        ends.m_input = DataInputPipe::Create(name, std::make_unique<ByteDataInputRawProtocol>(), false);
        break;
    case Direction::Out:
        ends.m_output = DataOutputPipe::Create(name, false);
        break;
    case Direction::Duplex:
    {
        auto duplex =
            DataInputOutputPipe::Create(name, std::make_unique<ByteDataInputRawProtocol>(),
                                        std::make_unique<ByteDataOutputDefaultProtocol>(), false, bufferSize);
        ends.m_input = duplex;
        ends.m_output = duplex;
        break;
    }
    }
    return ends;
}

void PipeEnds::Cancel()
{
    if (m_input)
    {
        m_input->Cancel();
    }
    if (m_output)
    {
        m_output->Cancel();
    }
}

void PipeEnds::Release()
{
    m_input.reset();
    m_output.reset();
}

} // namespace zelio_tool
