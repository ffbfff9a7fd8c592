// PipeEnds: the pipe that cat and serve copy through, in the directions the user picked. Writing
// goes through the Default protocol (each Write returns once every byte has gone, or the pipe has
// failed); reading through the Raw one (each Read returns what has arrived, up to one transfer), so
// that a peer's last few bytes come out at once instead of waiting for a full buffer. In duplex
// both sides are the same object.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>

#include <boost/intrusive_ptr.hpp>

#include <functional>
#include <string>

namespace zelio_tool
{

// The directions, as zelio sees them: In reads the pipe, Out writes it, Duplex does both.
enum class Direction
{
    In,
    Out,
    Duplex
};

class PipeEnds
{
public:
    // Creates the server end and waits until its client has come. `listening` runs once the name
    // is taken, before the wait.
    static PipeEnds Serve(const std::string& name, Direction direction,
                          const std::function<void()>& listening);
    // Opens the client end.
    static PipeEnds Open(const std::string& name, Direction direction);
    // Opens the client end in the directions the server offers: both, else the one it has.
    static PipeEnds OpenAsOffered(const std::string& name);

    Ostrel::Core::IByteDataInput* Input() const { return m_input.get(); }
    Ostrel::Core::IByteDataOutput* Output() const { return m_output.get(); }
    // Interrupts the transfers under way on the sides that can be interrupted.
    void Cancel();
    // Closes the pipe: the other end sees its end.
    void Release();

private:
    // Throws the library's IOException when the pipe cannot be opened.
    static PipeEnds OpenOrThrow(const std::string& name, Direction direction);
    void WaitForClient(Direction direction);
    void WaitForDuplexClient();

    boost::intrusive_ptr<Ostrel::Core::IByteDataInput> m_input;
    boost::intrusive_ptr<Ostrel::Core::IByteDataOutput> m_output;
};

} // namespace zelio_tool
