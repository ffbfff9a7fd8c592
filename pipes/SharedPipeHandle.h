// SharedPipeHandle: one pipe handle used by several pipe streams (the two halves of a duplex pipe
// and the duplex object; a standard stream and the pipe stream inside it). Each holder lets go of
// its share instead of closing the handle, so one holder's close step ends only its own use, and
// the handle is closed exactly once, by the last holder to let go.
#pragma once

#include <Ostrel/Platform/Windows.h>

#include <memory>
#include <string>

namespace Ostrel::Core
{

class SharedPipeHandle
{
public:
    // name: the pipe's name, for the errors of the streams that share it; empty for a handle the
    // library did not open by name.
    explicit SharedPipeHandle(HANDLE handle, std::string name = {}) noexcept;
    // Closes the handle; a failure is logged.
    ~SharedPipeHandle();
    SharedPipeHandle(const SharedPipeHandle&) = delete;
    SharedPipeHandle& operator=(const SharedPipeHandle&) = delete;

    HANDLE Get() const noexcept { return m_handle; }
    const std::string& Name() const noexcept { return m_name; }

private:
    HANDLE m_handle;
    std::string m_name;
};

using PipeHandleShare = std::shared_ptr<SharedPipeHandle>;

} // namespace Ostrel::Core
